#include "event_hub.h"

namespace korvale_tool {

bool EventHub::open(StreamHandle* stream) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (streams.size() >= max_streams || shutting_down) {
        return false;
    }
    *stream = streams.emplace(streams.end());
    return true;
}

void EventHub::close(StreamHandle stream) {
    const std::lock_guard<std::mutex> lock(mutex);
    streams.erase(stream);
}

void EventHub::publish(std::string message) {
    const auto shared = std::make_shared<const std::string>(std::move(message));
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (Stream& stream : streams) {
            if (stream.queue.size() >= queue_capacity) {
                stream.queue.pop_front();
                ++stream.skipped;
            }
            stream.queue.push_back(shared);
        }
    }
    arrived.notify_all();
}

EventHub::Batch EventHub::take(StreamHandle stream, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex);
    arrived.wait_for(lock, timeout, [&] { return shutting_down || !stream->queue.empty(); });
    Batch batch;
    batch.closed = shutting_down;
    batch.skipped = stream->skipped;
    stream->skipped = 0;
    batch.messages.assign(stream->queue.begin(), stream->queue.end());
    stream->queue.clear();
    return batch;
}

void EventHub::shut_down() {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        shutting_down = true;
    }
    arrived.notify_all();
}

std::size_t EventHub::open_streams() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return streams.size();
}

} // namespace korvale_tool
