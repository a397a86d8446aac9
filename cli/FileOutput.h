#pragma once

// A stream buffer over a C stream that keeps the system's reason for the first write that
// failed: an ostream only knows that one did.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <streambuf>
#include <string>

namespace tarsun {

class FileOutput final : public std::streambuf {
public:
    explicit FileOutput(std::FILE* file) : file_(file) { setp(buffer_, buffer_ + sizeof buffer_); }
    ~FileOutput() override { sync(); }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    // Why a write failed, or "" while none has.
    const std::string& error() const { return error_; }

protected:
    int_type overflow(int_type c) override {
        if (!drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return drain() ? 0 : -1; }

private:
    // Once failed, writes nothing more: a closed pipe is not tried again for every line.
    bool drain() {
        const auto size = static_cast<std::size_t>(pptr() - pbase());
        setp(buffer_, buffer_ + sizeof buffer_);
        if (!error_.empty()) return false;
        errno = 0;
        if ((size == 0 || std::fwrite(buffer_, 1, size, file_) == size) && std::fflush(file_) == 0) return true;
        error_ = errno ? std::strerror(errno) : "the write failed";
        return false;
    }

    std::FILE* file_;
    char buffer_[1 << 16];
    std::string error_;
};

}  // namespace tarsun
