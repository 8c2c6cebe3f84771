// What the safe file writing does the same way on every system: buffering the bytes.
#include "platform/core/atomic_file.h"

AtomicFile::~AtomicFile() {
    if (!committed_)
        discard();
}

void AtomicFile::write(const void* data, std::size_t size) {
    if (fd_ < 0)
        fail_closed();
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size <= kBufferSize - buffer_.size()) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return;
    }
    flush_buffer();
    if (size >= kBufferSize)
        write_through(bytes, size);
    else
        buffer_.insert(buffer_.end(), bytes, bytes + size);
}
