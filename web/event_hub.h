// EventHub: the live updates of the web page, as server-sent events, to every page that listens.
//
// In:  events (a name and its JSON), published from any thread, made once whatever the number of
//      clients; clients subscribing and leaving (the web server's threads).
// Out: for each client, its events in order, from a queue of its own.
//
// A client's queue holds at most kQueue events. One that stops reading loses its oldest events
// and is told to start again from a snapshot ("reset"); publishing never waits for it, nor for any
// other client. A client that has gone is forgotten when its connection ends.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace nimbra::web {

class EventHub {
public:
    static constexpr std::size_t kQueue = 256;

    struct Client;
    using ClientId = std::uint64_t;

    // The text of one server-sent event: "event: NAME\ndata: JSON\n\n".
    static std::string format(const std::string& name, const std::string& json);

    void publish(const std::string& name, const std::string& json);
    ClientId subscribe();
    void unsubscribe(ClientId id);
    // The client's next event, waiting up to `timeoutMs`: true with `event` set, false on a
    // timeout (or when the hub stops). `reset` is set when events were lost.
    bool next(ClientId id, std::string& event, bool& reset, int timeoutMs);
    void stop();
    std::size_t clients() const;
    std::uint64_t dropped() const;

private:
    struct Queue {
        std::deque<std::shared_ptr<const std::string>> events;
        bool overflowed = false;
    };
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<ClientId, Queue> queues_;
    ClientId nextId_ = 1;
    std::uint64_t dropped_ = 0;
    bool stopping_ = false;
};

}  // namespace nimbra::web
