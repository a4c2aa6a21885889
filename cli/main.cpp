// nimbra-decode: decodes radiosonde telemetry from a recording or a live stream of a receiver's
// discriminator audio or of an SDR's IQ samples, and prints the accepted fixes.
//
// In:  an audio file (libsndfile), a raw 16-bit file (--raw) or raw 16-bit standard input ("-");
//      raw or WAVE IQ (--iq) from a file or standard input (see input_pump.h); options for the decoder and the outputs (see help_text.cpp).
// Out: decoded-text lines, CSV or JSON Lines on standard output, one line per accepted fix,
//      flushed at once; optional GPX and KML track files; the network outputs (chase-map UDP,
//      SondeHub, MQTT, live KML), each fix handed to them before its line is printed; a note on
//      what was read, a progress bar, one line per change of an output's state, each output's
//      figures and the summary "good N bad M" on standard error. Exit status 0 when the input was
//      decoded to its end, 2 on bad input, 130/143 after SIGINT/SIGTERM.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/chase_link.h"
#include "cli/decode_session.h"
#include "cli/help_text.h"
#include "cli/input_pump.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/station_page.h"
#include "formats/fix_format.h"
#include "formats/pending_file.h"
#include "formats/track_documents.h"
#include "outputs/output_set.h"

namespace {

using namespace nimbra::cli;
using namespace nimbra::formats;

volatile std::sig_atomic_t stopSignal = 0;
int stopPipe[2] = {-1, -1};

void onStopSignal(int signo)
{
    stopSignal = signo;
    // Wakes a source that was about to wait for data when the flag was set (the flag alone
    // would be seen only after the next block arrived).
    const int savedErrno = errno;
    if (stopPipe[1] >= 0) {
        const ssize_t written = ::write(stopPipe[1], "x", 1);
        (void)written;  // a full pipe already holds a wake-up
    }
    errno = savedErrno;
}

// SIGINT and SIGTERM end the read loop; no SA_RESTART, so a read waiting on a pipe returns at
// once, and the stop pipe wakes a wait that had not begun yet. A second signal ends the process
// the ordinary way.
void installStopHandlers(InputPump& input)
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) == 0)
        input.setStopFd(stopPipe[0]);
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void printError(const std::string& message)
{
    std::fprintf(stderr, "nimbra-decode: %s\n", message.c_str());
}

class Output {
public:
    Output(const CliOptions& options, Progress& progress, nimbra::outputs::OutputSet& network, StationPage* page,
           ChaseLink& chase)
        : options_(options), progress_(progress), network_(network), page_(page), chase_(chase)
    {
    }

    void begin()
    {
        if (options_.format == OutputFormat::Csv)
            write(csvHeader(columns()));
    }

    // Writes what the session decoded since the last call, one flushed line per fix.
    void drain(DecodeSession& session)
    {
        const std::vector<std::string> lines = session.takeLines();
        const std::vector<nimbra::FlightFix> fixes = session.takeNewFixes();
        // Queued (and spooled) before the line is printed: a fix the user saw is never lost.
        for (const nimbra::FlightFix& fix : fixes)
            network_.publish(fix);
        if (lines.empty() && fixes.empty())
            return;
        if (page_)
            page_->fixes(fixes);
        chase_.fixes(fixes);
        progress_.clear();
        if (options_.format == OutputFormat::Text) {
            for (const std::string& line : lines)
                write(line + "\n");
        } else {
            for (const nimbra::FlightFix& fix : fixes)
                write(options_.format == OutputFormat::Csv ? csvRow(fix, columns()) : jsonLine(fix));
        }
    }

    // Lets the outputs deliver what waits, up to --upload-wait, then prints their figures.
    void finishNetwork()
    {
        if (network_.empty())
            return;
        std::uint64_t waiting = 0;
        for (const nimbra::outputs::OutputStatus& s : network_.statuses())
            waiting += s.waiting;
        if (waiting > 0 && options_.outputs.uploadWaitS > 0.0 && !options_.quiet)
            std::fprintf(stderr, "nimbra-decode: waiting up to %g s for the outputs to deliver %llu fixes%s\n",
                         options_.outputs.uploadWaitS, static_cast<unsigned long long>(waiting),
                         stopSignal != 0 ? " (a second Ctrl-C stops at once)" : "");
        network_.beginFinish(options_.outputs.uploadWaitS);
        network_.stop();
        for (const nimbra::outputs::OutputStatus& s : network_.statuses())
            printError(s.summary(true));
    }

private:
    // An SDR's fixes say where they were heard.
    CsvColumns columns() const { return {options_.iqFormat.has_value(), options_.tunedHz.has_value()}; }

    void write(const std::string& text)
    {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }

    const CliOptions& options_;
    Progress& progress_;
    nimbra::outputs::OutputSet& network_;
    StationPage* page_;
    ChaseLink& chase_;
};

int run(const CliOptions& o)
{
    // Input.
    std::string error;
    Progress* progressForNotes = nullptr;
    // The web page, when asked for: bound before anything else, so that a taken port stops the run
    // at once.
    std::unique_ptr<StationPage> page;
    if (o.web.on) {
        page = std::make_unique<StationPage>(o);
        if (!page->start(error)) {
            printError(error);
            return 2;
        }
    }
    StationPage* pageForNotes = page.get();
    auto note = [&o, &progressForNotes, pageForNotes](const std::string& text) {
        if (pageForNotes)
            pageForNotes->note(text);
        if (o.quiet)
            return;
        if (progressForNotes)
            progressForNotes->clear();
        std::fprintf(stderr, "nimbra-decode: %s\n", text.c_str());
    };
    std::unique_ptr<InputPump> input = openInput(o, error, note);
    if (!input) {
        printError(error);
        return 2;
    }

    // Track files: their temporary files are made now, so an unwritable output stops the run
    // before anything is decoded.
    PendingFile gpxFile, kmlFile;
    if (!o.gpxPath.empty() && !gpxFile.open(o.gpxPath, error)) {
        printError(error);
        return 2;
    }
    if (!o.kmlPath.empty() && !kmlFile.open(o.kmlPath, error)) {
        printError(error);
        return 2;
    }

    DecodeSession session(o);
    // The station's GPS and rotator, on threads of their own; their notes as every other note.
    ChaseLink chase(o, [&o, pageForNotes, &progressForNotes](const std::string& text, bool problem) {
        if (pageForNotes)
            pageForNotes->note(text);
        if (o.quiet && !problem)
            return;
        if (progressForNotes)
            progressForNotes->clear();
        std::fprintf(stderr, "nimbra-decode: %s\n", text.c_str());
    });

    // Network outputs: a spool in use or an unwritable live KML stops the run before decoding.
    nimbra::outputs::OutputConfig networkConfig = o.outputs.config;
    const nimbra::DecoderParameters& params = session.params();
    networkConfig.station = Station{params.userLat.load(), params.userLon.load(), params.userAlt.load()};
    networkConfig.stationGiven = o.stationLat.has_value();
    if (o.chase.gpsd)
        networkConfig.livePosition = [&chase] { return chase.livePosition(); };
    networkConfig.sondehubChase = o.chase.sondehubChase;
    nimbra::outputs::OutputSet network;
    // Printed from the outputs' threads as they come, so that a change of state shows while the
    // input is quiet too; on a terminal the line first wipes the progress bar, which the next
    // update draws again below it.
    const bool terminal = isatty(STDERR_FILENO) != 0;
    network.setLineListener([&o, terminal, pageForNotes](const nimbra::outputs::StateLine& line) {
        if (pageForNotes)
            pageForNotes->note(line.text);
        if (!o.quiet || line.problem)
            std::fprintf(stderr, "%snimbra-decode: %s\n", terminal ? "\r\033[K" : "", line.text.c_str());
    });
    if (networkConfig.any() && !network.start(networkConfig, "nimbra-decode", error)) {
        printError(error);
        return 2;
    }

    if (!o.quiet)
        std::fprintf(stderr, "nimbra-decode: reading %s\n", input->describe().c_str());
    if (page) {
        page->note("reading " + input->describe());
        if (!o.quiet)
            std::fprintf(stderr, "nimbra-decode: web page on http://%s:%d/%s\n",
                         o.web.address.find(':') != std::string::npos ? ("[" + o.web.address + "]").c_str()
                                                                        : o.web.address.c_str(),
                         page->port(), page->leafletFound() ? "" : " (no map: install libjs-leaflet)");
    }
    Progress progress(!o.quiet && isatty(STDERR_FILENO), input->totalFrames(), input->sampleRate());
    progressForNotes = &progress;
    Output output(o, progress, network, page.get(), chase);
    installStopHandlers(*input);
    output.begin();

    std::int64_t framesRead = 0;
    std::string readError;
    while (stopSignal == 0) {
        const long n = input->pump(session);
        if (page)
            page->tick(*input, network);
        chase.update(session);
        if (n < 0) {
            if (input->interrupted())
                continue;  // a signal, or a radio that has nothing yet: the loop condition decides
            readError = input->error();
            break;
        }
        if (n == 0)
            break;
        framesRead += n;
        output.drain(session);
        progress.update(framesRead);
    }
    input->finish(session);
    output.drain(session);
    chase.stop();
    if (page)
        page->stop();
    progress.update(framesRead, true);
    progress.clear();

    int status = 0;
    const nimbra::DecoderParameters& p = session.params();
    const Station station{p.userLat.load(), p.userLon.load(), p.userAlt.load()};
    if (gpxFile.isOpen() && !gpxFile.commit(gpxDocument(session.fixes(), station), error)) {
        printError(error);
        status = 2;
    }
    if (kmlFile.isOpen() && !kmlFile.commit(kmlDocument(session.fixes(), station), error)) {
        printError(error);
        status = 2;
    }
    output.finishNetwork();
    std::fprintf(stderr, "good %d bad %d\n", session.goodPackets(), session.badPackets());
    if (readError.empty())
        readError = input->endProblem();
    if (!readError.empty()) {
        printError(readError);
        status = 2;
    }
    if (status == 0 && stopSignal != 0)
        status = 128 + stopSignal;
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    const ParseOutcome parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        printError(parsed.error);
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(kHelpText, stdout);
        return 0;
    }
    return run(parsed.options);
}
