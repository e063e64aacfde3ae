// Hands each event of the dashboard to every open event stream without ever waiting for one:
// each stream has a queue of bounded length, and a stream that falls behind loses its oldest
// events (and hears how many it lost), never the receiver's time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvale_tool {

class EventHub {
public:
    using Message = std::shared_ptr<const std::string>;

    struct Stream {
        std::deque<Message> queue;
        std::size_t skipped = 0; // events dropped since the last take
    };
    using StreamHandle = std::list<Stream>::iterator;

    struct Batch {
        std::vector<Message> messages;
        std::size_t skipped = 0; // events dropped before these
        bool closed = false;     // the hub is closing: end the stream
    };

    EventHub(std::size_t stream_limit, std::size_t capacity)
        : max_streams(stream_limit), queue_capacity(capacity) {}

    // Opens a stream; false when max_streams are open already.
    bool open(StreamHandle* stream);
    void close(StreamHandle stream);

    // Queues the message for every open stream; never blocks on a stream.
    void publish(std::string message);

    // The stream's queued messages, waiting up to timeout for one.
    Batch take(StreamHandle stream, std::chrono::milliseconds timeout);

    // Ends every take() at once, now and later.
    void shut_down();

    std::size_t open_streams() const;

private:
    const std::size_t max_streams;
    const std::size_t queue_capacity;
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::list<Stream> streams;
    bool shutting_down = false;
};

} // namespace korvale_tool
