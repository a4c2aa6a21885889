// AudioServerWatch: a connection of its own to the audio server, to know whether the server is
// there. Qt's audio on Linux talks to a PulseAudio server (PipeWire serves the same protocol);
// this watch finds the server as every client of it does (PULSE_SERVER, client.conf, the user's
// runtime folder) through libpulse, without Qt.
//
// In:  connect(): try to connect now.
// Out: whether the server answered; the lost handler when a connection that answered fails
//      (the server stopped or was killed), called on libpulse's own thread.
//
// One watch is used by one thread at a time; the lost handler may be set from that thread only.
#pragma once

#include <functional>
#include <memory>

namespace nimbra {

class AudioServerWatch {
public:
    AudioServerWatch();
    ~AudioServerWatch();
    AudioServerWatch(const AudioServerWatch&) = delete;
    AudioServerWatch& operator=(const AudioServerWatch&) = delete;

    // Drops any connection and connects afresh. True once the server answers; false at once when
    // there is no server, or after timeoutMs when one does not answer.
    bool connect(int timeoutMs);
    // Called (on libpulse's thread) when the connection that connect() made fails afterwards.
    void setLostHandler(std::function<void()> handler);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace nimbra
