// Standard input from its descriptor, waiting where it is non-blocking and
// keeping the error where a read fails.
#include "frontend/standardInput.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <streambuf>

namespace {

// read() from `fd`. A descriptor that has nothing yet although it is not at
// its end (non-blocking: EAGAIN) is waited on with poll, which leaves its
// flags alone: they belong to the open file, which the shell shares. -1
// with errno set when the read failed.
ssize_t readWaiting(int fd, char* buffer, std::size_t size) {
    while (true) {
        const ssize_t got = read(fd, buffer, size);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return got;
        }
        if (errno != EINTR) {
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, -1) < 0 && errno != EINTR) {
                return -1;
            }
        }
    }
}

// A read buffer on one descriptor. Once a read has failed it stays at its
// end: nothing more can be trusted to follow what was lost.
class DescriptorInput : public std::streambuf {
  public:
    explicit DescriptorInput(int fd) : fd_(fd) {}
    int error() const { return error_; }

  private:
    int_type underflow() override {
        if (gptr() == egptr() && error_ == 0) {
            const ssize_t got = readWaiting(fd_, buffer_, sizeof buffer_);
            if (got < 0) {
                error_ = errno;
            }
            setg(buffer_, buffer_, buffer_ + (got > 0 ? got : 0));
        }
        return gptr() == egptr() ? traits_type::eof() : traits_type::to_int_type(*gptr());
    }

    int fd_;
    int error_ = 0;
    char buffer_[1 << 16];
};

DescriptorInput& standardInput() {
    static DescriptorInput input(STDIN_FILENO);
    return input;
}

}  // namespace

void readStandardInputDirectly() {
    static const bool installed = (std::cin.rdbuf(&standardInput()), true);
    static_cast<void>(installed);
}

std::string standardInputError() {
    const int error = standardInput().error();
    return error == 0 ? std::string() : std::strerror(error);
}
