#include "outputs/sondehub_spool.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra::outputs {

namespace {

// 64-bit FNV-1a of the serial and the frame: the identity of an object.
std::uint64_t keyOf(const std::string& serial, unsigned frame)
{
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&](unsigned char c) {
        h ^= c;
        h *= 1099511628211ull;
    };
    for (char c : serial)
        mix(static_cast<unsigned char>(c));
    mix(0);
    for (int i = 0; i < 4; ++i)
        mix(static_cast<unsigned char>(frame >> (8 * i)));
    return h;
}

std::string doneLine(const std::string& serial, unsigned frame)
{
    return std::to_string(frame) + "\t" + serial + "\n";
}

constexpr std::size_t kPruneSerials = 256;

std::string systemError(const std::string& what)
{
    return what + " (" + std::strerror(errno) + ")";
}

bool makeFolders(const std::string& folder)
{
    std::string partial;
    std::size_t start = 0;
    while (start <= folder.size()) {
        const std::size_t slash = folder.find('/', start);
        partial = folder.substr(0, slash == std::string::npos ? folder.size() : slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Calls `line(text, offset, length)` for every complete line; returns the end of the last one.
template <typename F>
std::uint64_t forEachLine(FILE* file, F line)
{
    char* buf = nullptr;
    std::size_t cap = 0;
    std::uint64_t offset = 0;
    for (ssize_t n; (n = ::getline(&buf, &cap, file)) > 0;) {
        if (buf[n - 1] != '\n')
            break;  // cut short by a crash while it was written
        line(std::string(buf, static_cast<std::size_t>(n - 1)), offset, static_cast<std::uint32_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    std::free(buf);
    return offset;
}

}  // namespace

SondeHubSpool::~SondeHubSpool()
{
    for (int fd : {journalFd_, doneFd_, lockFd_})
        if (fd >= 0)
            ::close(fd);
}

std::string SondeHubSpool::path(const char* name) const { return settings_.folder + "/" + name; }

std::uint32_t SondeHubSpool::serialIndex(const std::string& serial)
{
    for (std::size_t i = serials_.size(); i-- > 0;)
        if (serials_[i] == serial)
            return static_cast<std::uint32_t>(i);
    // Serials no waiting object uses any more are forgotten now and then, so that a station
    // running for months keeps a table of a few entries.
    if (serials_.size() >= kPruneSerials) {
        std::vector<std::uint32_t> moved(serials_.size(), UINT32_MAX);
        std::vector<std::string> kept;
        for (Entry& e : waiting_) {
            if (moved[e.serial] == UINT32_MAX) {
                moved[e.serial] = static_cast<std::uint32_t>(kept.size());
                kept.push_back(serials_[e.serial]);
            }
            e.serial = moved[e.serial];
        }
        serials_.swap(kept);
    }
    serials_.push_back(serial);
    return static_cast<std::uint32_t>(serials_.size() - 1);
}

std::string SondeHubSpool::doneLineOf(const Entry& e) const { return doneLine(serials_[e.serial], e.frame); }

bool SondeHubSpool::open(const Settings& settings, std::string& error)
{
    settings_ = settings;
    if (settings_.folder.empty() || !makeFolders(settings_.folder)) {
        error = systemError("the spool folder " + settings_.folder + " cannot be made");
        return false;
    }
    lockFd_ = ::open(path("lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd_ < 0) {
        error = systemError("the spool folder " + settings_.folder + " is not writable");
        return false;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        error = "the spool folder " + settings_.folder + " is in use by another run; give each run its own";
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return load(error);
}

bool SondeHubSpool::load(std::string& error)
{
    // done.log: every entry marks its object done; the last ones are remembered for duplicates.
    std::unordered_set<std::uint64_t> doneKeys;
    std::uint64_t doneEnd = 0;
    if (FILE* f = std::fopen(path("done.log").c_str(), "re")) {
        doneEnd = forEachLine(f, [&](const std::string& line, std::uint64_t, std::uint32_t) {
            const std::size_t tab = line.find('\t');
            if (tab == std::string::npos)
                return;
            const unsigned frame = static_cast<unsigned>(std::strtoul(line.c_str(), nullptr, 10));
            const std::string serial = line.substr(tab + 1);
            const std::uint64_t key = keyOf(serial, frame);
            doneKeys.insert(key);
            done_.emplace_back(key, line + "\n");
            if (done_.size() > settings_.rememberedDone)
                done_.pop_front();
        });
        std::fclose(f);
    }
    for (const auto& d : done_)
        known_.insert(d.first);

    std::uint64_t journalEnd = 0;
    if (FILE* f = std::fopen(path("journal.jsonl").c_str(), "re")) {
        journalEnd = forEachLine(f, [&](const std::string& line, std::uint64_t offset, std::uint32_t length) {
            const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
            if (object.is_discarded() || !object.is_object() || !object.contains("serial") ||
                !object["serial"].is_string() || !object.contains("frame") || !object["frame"].is_number_unsigned()) {
                ++damaged_;
                return;
            }
            const std::string serial = object["serial"].get<std::string>();
            const unsigned frame = object["frame"].get<unsigned>();
            const std::uint64_t key = keyOf(serial, frame);
            if (doneKeys.count(key) || known_.count(key))
                return;
            waiting_.push_back(Entry{nextSeq_++, offset, key, length, frame, serialIndex(serial), false});
            waitingBytes_ += length;
            known_.insert(key);
        });
        std::fclose(f);
    }
    recovered_ = waiting_.size();

    journalFd_ = ::open(path("journal.jsonl").c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    doneFd_ = ::open(path("done.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (journalFd_ < 0 || doneFd_ < 0) {
        error = systemError("the spool in " + settings_.folder + " cannot be written");
        return false;
    }
    // A line cut short by a crash is removed, so that the next one starts on a line of its own.
    if (::ftruncate(journalFd_, static_cast<off_t>(journalEnd)) != 0 ||
        ::ftruncate(doneFd_, static_cast<off_t>(doneEnd)) != 0 || !syncFolder()) {
        error = systemError("the spool in " + settings_.folder + " cannot be written");
        return false;
    }
    journalEnd_ = journalEnd;
    std::string dropLines;
    while (waitingBytes_ > settings_.maxBytes && waiting_.size() > 1)
        dropOldest(dropLines);
    if (!dropLines.empty() && (!writeAll(doneFd_, dropLines) || ::fdatasync(doneFd_) != 0)) {
        error = systemError("the spool in " + settings_.folder + " cannot be written");
        return false;
    }
    return true;
}

bool SondeHubSpool::writeAll(int fd, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

bool SondeHubSpool::syncFolder()
{
    const int fd = ::open(settings_.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void SondeHubSpool::remember(std::uint64_t key, std::string line)
{
    done_.emplace_back(key, std::move(line));
    if (done_.size() > settings_.rememberedDone) {
        known_.erase(done_.front().first);
        done_.pop_front();
    }
}

void SondeHubSpool::dropOldest(std::string& doneLines)
{
    std::size_t index = 0;
    if (!waiting_.empty() && waiting_.front().seq >= inflightFirst_ && waiting_.front().seq < inflightEnd_)
        index = static_cast<std::size_t>(inflightEnd_ - waiting_.front().seq);
    if (index >= waiting_.size())
        return;
    const Entry e = waiting_[index];
    const std::string line = doneLineOf(e);
    waiting_.erase(waiting_.begin() + static_cast<long>(index));
    waitingBytes_ -= e.length;
    doneLines += line;
    remember(e.key, line);
    ++dropped_;
}

SondeHubSpool::Appended SondeHubSpool::append(const std::string& serial, unsigned frame, const std::string& object,
                                              std::string& error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t key = keyOf(serial, frame);
    if (known_.count(key))
        return Appended::Duplicate;
    const std::string line = object + "\n";
    if (!writeAll(journalFd_, line) || ::fdatasync(journalFd_) != 0) {
        error = systemError("the spool journal in " + settings_.folder + " cannot be written");
        // Whatever part of the line reached the file is cut off again.
        if (::ftruncate(journalFd_, static_cast<off_t>(journalEnd_)) != 0)
            error += "; it may hold a damaged line";
        return Appended::Failed;
    }
    waiting_.push_back(Entry{nextSeq_++, journalEnd_, key, static_cast<std::uint32_t>(line.size()), frame,
                             serialIndex(serial), false});
    journalEnd_ += line.size();
    waitingBytes_ += line.size();
    known_.insert(key);
    std::string dropLines;
    while (waitingBytes_ > settings_.maxBytes && waiting_.size() > 1) {
        const std::size_t before = waiting_.size();
        dropOldest(dropLines);
        if (waiting_.size() == before)
            break;
    }
    if (!dropLines.empty() && (!writeAll(doneFd_, dropLines) || ::fdatasync(doneFd_) != 0))
        error = systemError("the spool's done.log in " + settings_.folder + " cannot be written");
    return Appended::Added;
}

SondeHubSpool::Batch SondeHubSpool::nextBatch(std::size_t maxObjects, std::size_t maxBytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Batch batch;
    std::string line;
    for (const Entry& e : waiting_) {
        if (batch.count >= maxObjects || (batch.count > 0 && batch.body.size() + e.length > maxBytes))
            break;
        line.resize(e.length);
        if (::pread(journalFd_, line.data(), e.length, static_cast<off_t>(e.offset)) != static_cast<ssize_t>(e.length))
            break;
        line.pop_back();  // the line feed
        batch.body += (batch.count == 0 ? "[" : ",") + line;
        if (batch.count == 0)
            batch.firstSeq = e.seq;
        ++batch.count;
    }
    if (batch.count == 0)
        return Batch{};
    batch.body += "]";
    inflightFirst_ = batch.firstSeq;
    inflightEnd_ = batch.firstSeq + batch.count;
    return batch;
}

bool SondeHubSpool::complete(const Batch& batch, Outcome outcome, std::size_t& firstFailures, std::string& error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    firstFailures = 0;
    const std::uint64_t end = batch.firstSeq + batch.count;
    inflightFirst_ = inflightEnd_ = 0;
    if (outcome == Outcome::Failed) {
        for (Entry& e : waiting_) {
            if (e.seq >= end)
                break;
            if (e.seq >= batch.firstSeq && !e.tried) {
                e.tried = true;
                ++firstFailures;
            }
        }
        return true;
    }
    std::string lines;
    while (!waiting_.empty() && waiting_.front().seq < end) {
        const Entry& e = waiting_.front();
        const std::string line = doneLineOf(e);
        lines += line;
        remember(e.key, line);
        waitingBytes_ -= e.length;
        waiting_.pop_front();
    }
    if (!writeAll(doneFd_, lines) || ::fdatasync(doneFd_) != 0) {
        error = systemError("the spool's done.log in " + settings_.folder +
                            " cannot be written; the next run may send the last batch again");
        return false;
    }
    return true;
}

bool SondeHubSpool::compact(std::string& error)
{
    std::uint64_t start = 0, end = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        end = journalEnd_;
        start = waiting_.empty() ? end : waiting_.front().offset;
        const std::uint64_t doneBytes = end - waitingBytes_;
        if (doneBytes < settings_.compactMinBytes || doneBytes < waitingBytes_)
            return true;
    }
    const std::string tempPath = path("journal.jsonl.new");
    const int temp = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    if (temp < 0) {
        error = systemError("the spool journal cannot be rewritten");
        return false;
    }
    auto copy = [&](std::uint64_t from, std::uint64_t to) {
        std::string buf(1 << 16, '\0');
        for (std::uint64_t at = from; at < to;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), to - at));
            const ssize_t n = ::pread(journalFd_, buf.data(), want, static_cast<off_t>(at));
            if (n <= 0 || !writeAll(temp, buf.substr(0, static_cast<std::size_t>(n))))
                return false;
            at += static_cast<std::uint64_t>(n);
        }
        return true;
    };
    // The bulk is copied without the lock: appends go on meanwhile, past `end`.
    if (!copy(start, end) || ::fdatasync(temp) != 0) {
        error = systemError("the spool journal cannot be rewritten");
        ::close(temp);
        ::unlink(tempPath.c_str());
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint64_t newEnd = journalEnd_;
    if (!copy(end, newEnd) || ::fdatasync(temp) != 0 || ::rename(tempPath.c_str(), path("journal.jsonl").c_str()) != 0) {
        error = systemError("the spool journal cannot be rewritten");
        ::close(temp);
        ::unlink(tempPath.c_str());
        return false;
    }
    ::close(journalFd_);
    journalFd_ = temp;
    journalEnd_ = newEnd - start;
    for (Entry& e : waiting_)
        e.offset -= start;
    // done.log keeps what is remembered; the journal it described is gone.
    std::string lines;
    for (const auto& d : done_)
        lines += d.second;
    const std::string doneTemp = path("done.log.new");
    const int fd = ::open(doneTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    const bool ok = fd >= 0 && writeAll(fd, lines) && ::fdatasync(fd) == 0 &&
                    ::rename(doneTemp.c_str(), path("done.log").c_str()) == 0;
    if (!ok) {
        if (fd >= 0)
            ::close(fd);
        syncFolder();
        error = systemError("the spool's done.log cannot be rewritten");
        return false;
    }
    ::close(doneFd_);
    doneFd_ = fd;
    if (!syncFolder()) {
        error = systemError("the spool folder cannot be synced");
        return false;
    }
    return true;
}

std::size_t SondeHubSpool::waiting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_.size();
}

std::uint64_t SondeHubSpool::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

}  // namespace nimbra::outputs
