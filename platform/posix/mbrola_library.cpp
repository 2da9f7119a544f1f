// The MBROLA library loaded with dlopen, and the `mbrola` program run as a child for each
// utterance with the .pho text on its standard input and WAV samples on its standard output.
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/mbrola_library_calls.h"
#include "platform/process.h"

namespace navelo {

const char* MbrolaLibraryFileName() { return "libmbrola.so"; }

std::unique_ptr<MbrolaBackend> LoadMbrolaLibrary(const std::vector<std::string>& candidates,
                                                 std::string& reason) {
  std::vector<std::string> names = candidates;
  names.push_back(MbrolaLibraryFileName());  // the system's library search path, last
  reason = "no MBROLA library was found";
  for (const std::string& name : names) {
    if (name.find('/') != std::string::npos && !std::filesystem::exists(name)) continue;
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) continue;
    MbrolaCalls calls;
    if (!FindMbrolaCalls([&](const char* symbol) { return dlsym(handle, symbol); }, calls,
                         reason)) {
      dlclose(handle);
      continue;
    }
    return std::make_unique<MbrolaLibraryBackend>(calls, [handle] { dlclose(handle); });
  }
  return nullptr;
}

namespace {

// The longest an utterance may take the program; a program that hangs is ended.
constexpr int kProgramLimitMs = 60000;

class MbrolaProgram final : public MbrolaBackend {
 public:
  explicit MbrolaProgram(std::string program) : program_(std::move(program)) {}
  ~MbrolaProgram() override = default;

  int Init(const std::string& database) override {
    if (!std::filesystem::is_regular_file(database)) {
      error_ = "the voice database " + database + " does not exist";
      return -1;
    }
    database_ = database;
    return 0;
  }
  int Write(std::string_view pho) override {
    input_.append(pho);
    return 0;
  }
  int Flush() override {
    samples_.clear();
    read_ = 0;
    const int result = Run();
    input_.clear();
    return result;
  }
  int Read(int16_t* samples, int max) override {
    const size_t left = samples_.size() - read_;
    const size_t n = std::min(left, static_cast<size_t>(max < 0 ? 0 : max));
    std::memcpy(samples, samples_.data() + read_, n * sizeof(int16_t));
    read_ += n;
    return static_cast<int>(n);
  }
  void Reset() override {
    input_.clear();
    samples_.clear();
    read_ = 0;
  }
  void Close() override { Reset(); }
  void SetNoError(int value) override { no_error_ = value != 0; }
  std::string LastError() override { return error_; }
  const char* Kind() const override { return "program"; }

 private:
  // Runs the program over the input; the samples of its WAV output land in samples_.
  int Run() {
    SpawnRequest request;
    request.program = program_;
    request.argv = {program_};
    if (no_error_) request.argv.push_back("-e");
    request.argv.insert(request.argv.end(), {database_, "-", "-.wav"});
    request.with_pipes = true;
    ChildPipes pipes;
    int spawn_error = 0;
    const int pid = SpawnChild(request, &pipes, spawn_error);
    if (pid < 0) {
      error_ = "the mbrola program could not start: " + std::string(std::strerror(spawn_error));
      return -1;
    }
    // Feed the input and drain both outputs at once, so neither side waits on a full pipe.
    std::string output;
    size_t written = 0;
    int in = pipes.input, out = pipes.output, err = pipes.error;
    if (input_.empty()) {
      CloseDescriptor(in);
      in = -1;
    }
    const auto start = std::chrono::steady_clock::now();
    sigset_t pipe_only, old;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_only, &old);
    bool timed_out = false;
    while (out >= 0 || err >= 0) {
      pollfd fds[3];
      int count = 0;
      if (in >= 0) fds[count++] = {in, POLLOUT, 0};
      if (out >= 0) fds[count++] = {out, POLLIN, 0};
      if (err >= 0) fds[count++] = {err, POLLIN, 0};
      const int ready = poll(fds, count, 100);
      if (ready < 0 && errno != EINTR) break;
      for (int k = 0; k < count && ready > 0; ++k) {
        if (fds[k].revents == 0) continue;
        if (fds[k].fd == in) {
          const ssize_t n = write(in, input_.data() + written, input_.size() - written);
          if (n > 0) written += static_cast<size_t>(n);
          if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input_.size()) {
            CloseDescriptor(in);
            in = -1;
          }
        } else {
          char block[8192];
          const ssize_t n = read(fds[k].fd, block, sizeof block);
          if (n > 0) {
            if (fds[k].fd == out) output.append(block, static_cast<size_t>(n));
          } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            CloseDescriptor(fds[k].fd);
            (fds[k].fd == out ? out : err) = -1;
          }
        }
      }
      if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(kProgramLimitMs)) {
        timed_out = true;
        break;
      }
    }
    for (int fd : {in, out, err}) CloseDescriptor(fd);
    const timespec none{0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (timed_out) {
      kill(pid, SIGKILL);
      error_ = "the mbrola program did not finish";
      return -1;
    }
    for (int waited = 0; !ChildEnded(pid) && waited < 2000; waited += 10) usleep(10000);
    return TakeWave(output);
  }

  // The samples of a WAV stream (its data chunk, whatever length its header claims).
  int TakeWave(const std::string& wave) {
    // The program writes a WAV header whatever it says: no header at all means it failed.
    if (wave.size() < 12 || wave.compare(0, 4, "RIFF") != 0) {
      error_ = wave.empty() ? "the mbrola program gave no sound" : "the mbrola program gave no WAV";
      return -1;
    }
    size_t p = 12;
    while (p + 8 <= wave.size()) {
      const std::string id = wave.substr(p, 4);
      uint32_t length = 0;
      std::memcpy(&length, wave.data() + p + 4, 4);
      p += 8;
      if (id == "data") break;
      p += length;
    }
    if (p > wave.size()) return -1;
    const size_t n = (wave.size() - p) / 2;
    samples_.resize(n);
    std::memcpy(samples_.data(), wave.data() + p, n * 2);
    return 0;
  }

  std::string program_;
  std::string database_;
  std::string input_;
  std::vector<int16_t> samples_;
  size_t read_ = 0;
  bool no_error_ = false;
  std::string error_;
};

}  // namespace

std::unique_ptr<MbrolaBackend> MakeMbrolaProgram(const std::string& program, std::string& reason) {
  if (program.empty() || !IsExecutableFile(program)) {
    reason = "the mbrola program is not installed";
    return nullptr;
  }
  return std::make_unique<MbrolaProgram>(program);
}

}  // namespace navelo
