#pragma once
// Where the encoders put their bytes: a file being written atomically, a device, or memory.
// Every write either stores all the bytes or throws KapError.

#include <QByteArray>
#include <cstddef>

class AtomicFile;
class QIODevice;

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t size) = 0;
};

// How a finished file takes its path: in place of whatever stands there, or only where nothing
// stands (a file that appeared meanwhile is left alone and the new one dropped).
enum class Placement { Replace, OnlyIfFree };

// Puts the file in place as asked; false when the path was no longer free.
bool place_file(AtomicFile& file, Placement placement);

// Appends to an AtomicFile (which buffers and reports its own errors).
class AtomicFileSink final : public ByteSink {
public:
    explicit AtomicFileSink(AtomicFile& file) : file_(file) {}
    void write(const void* data, std::size_t size) override;

private:
    AtomicFile& file_;
};

// Writes at the device's current position; a short write throws "Impossible d'écrire dans ...".
class DeviceSink final : public ByteSink {
public:
    explicit DeviceSink(QIODevice& device) : device_(device) {}
    void write(const void* data, std::size_t size) override;

private:
    QIODevice& device_;
};

// Collects everything in memory.
class MemorySink final : public ByteSink {
public:
    void write(const void* data, std::size_t size) override;
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};
