#include "event_hub.h"

namespace korvale_tool {

bool EventHub::open(StreamHandle* stream) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (streams_.size() >= max_streams_ || shutting_down_) {
        return false;
    }
    *stream = streams_.emplace(streams_.end());
    return true;
}

void EventHub::close(StreamHandle stream) {
    const std::lock_guard<std::mutex> lock(mutex_);
    streams_.erase(stream);
}

void EventHub::publish(std::string message) {
    const auto shared = std::make_shared<const std::string>(std::move(message));
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (Stream& stream : streams_) {
            if (stream.queue.size() >= queue_capacity_) {
                stream.queue.pop_front();
                ++stream.skipped;
            }
            stream.queue.push_back(shared);
        }
    }
    arrived_.notify_all();
}

EventHub::Batch EventHub::take(StreamHandle stream, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return shutting_down_ || !stream->queue.empty(); });
    Batch batch;
    batch.closed = shutting_down_;
    batch.skipped = stream->skipped;
    stream->skipped = 0;
    batch.messages.assign(stream->queue.begin(), stream->queue.end());
    stream->queue.clear();
    return batch;
}

void EventHub::shut_down() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        shutting_down_ = true;
    }
    arrived_.notify_all();
}

std::size_t EventHub::open_streams() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return streams_.size();
}

} // namespace korvale_tool
