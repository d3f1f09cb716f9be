// Feeds a FIFO from a thread of the test, as another process would.
#pragma once

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>

// Makes a FIFO at `path` and, once needle opens it for reading, writes what
// `produce` hands it, block by block until it returns false, then closes it.
// Gives up quietly when nobody opens the FIFO within a minute.
class FifoWriter {
  public:
    FifoWriter(const std::filesystem::path& path, std::function<bool(std::string&)> produce)
        : made_(mkfifo(path.c_str(), 0644) == 0), thread_([path, produce] {
              // A reader that goes (needle killed) makes write fail with
              // EPIPE here, rather than SIGPIPE ending the whole test.
              sigset_t pipeSignal;
              sigemptyset(&pipeSignal);
              sigaddset(&pipeSignal, SIGPIPE);
              pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
              int fd = -1;
              // Non-blocking until a reader is there, so that a needle that
              // never came does not leave this thread waiting for ever.
              while ((fd = open(path.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
                  if (std::chrono::steady_clock::now() > deadline) {
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
              fcntl(fd, F_SETFL, 0);
              std::string block;
              while (produce(block)) {
                  for (std::size_t done = 0; done < block.size();) {
                      const ssize_t wrote = write(fd, block.data() + done, block.size() - done);
                      if (wrote <= 0) {
                          close(fd);
                          return;
                      }
                      done += static_cast<std::size_t>(wrote);
                  }
              }
              close(fd);
          }) {}
    ~FifoWriter() { thread_.join(); }
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

    // A producer that hands over `text` once.
    static std::function<bool(std::string&)> once(std::string text) {
        return [text, done = false](std::string& block) mutable {
            block = text;
            return !std::exchange(done, true);
        };
    }

    bool made() const { return made_; }

  private:
    bool made_;  // before thread_: the FIFO exists before the thread opens it
    std::thread thread_;
};
