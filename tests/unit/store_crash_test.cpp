// A program killed in the middle of saving must lose nothing it had reported as saved and
// must leave a file the next start opens. A writer process saves servers through the store
// and reports each save; it is killed at random moments, a few hundred times, and then the
// file is checked against the reports.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "app/program.h"
#include "store/store.h"
#include "support/data_files.h"

namespace korvane {
namespace {

#ifdef _WIN32
// Each start of a process under Wine costs far more than a fork.
constexpr int kRuns = 100;
#else
constexpr int kRuns = 300;
#endif

// One running store_writer: its reports line by line, and the kill.
class Writer {
 public:
  Writer(const std::string& dataFile, long long firstValue, unsigned seed) {
    const std::string first = std::to_string(firstValue);
    const std::string seedText = std::to_string(seed);
#ifdef _WIN32
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&read_, &write, &inherit, 0)) return;
    SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string exe = std::string("Z:") + KORVANE_STORE_WRITER;
    std::string command = "\"" + exe + "\" \"" + dataFile + "\" " + first + " " + seedText;
    PROCESS_INFORMATION info{};
    // Wine now and then refuses to start a program at all, as it does the test programs
    // themselves; what this test watches begins once the writer runs, so it gets a second try.
    for (int attempt = 0; attempt < 2 && process_ == nullptr; ++attempt) {
      if (CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        process_ = info.hProcess;
        CloseHandle(info.hThread);
      } else {
        startError_ = GetLastError();
      }
    }
    CloseHandle(write);
#else
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      close(fds[1]);
      execl(KORVANE_STORE_WRITER, KORVANE_STORE_WRITER, dataFile.c_str(), first.c_str(), seedText.c_str(), nullptr);
      _exit(127);
    }
    close(fds[1]);
    read_ = fds[0];
#endif
  }

  ~Writer() {
    Kill();
#ifdef _WIN32
    if (read_ != nullptr) CloseHandle(read_);
    if (process_ != nullptr) CloseHandle(process_);
#else
    if (read_ >= 0) close(read_);
#endif
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Why the writer could not be started (Windows' error code), for the failure message.
  unsigned long StartError() const { return startError_; }

  bool Started() const {
#ifdef _WIN32
    return process_ != nullptr;
#else
    return pid_ > 0;
#endif
  }

  // The next whole line; false once the output has ended. A line cut short by the kill is
  // not a report.
  bool ReadLine(std::string& line) {
    for (;;) {
      const auto end = buffer_.find('\n');
      if (end != std::string::npos) {
        line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return true;
      }
      char chunk[4096];
#ifdef _WIN32
      DWORD got = 0;
      if (!ReadFile(read_, chunk, sizeof(chunk), &got, nullptr) || got == 0) return false;
#else
      const ssize_t got = read(read_, chunk, sizeof(chunk));
      if (got <= 0) return false;
#endif
      buffer_.append(chunk, static_cast<size_t>(got));
    }
  }

  // Kills the writer, once, and tells whether it was still running then, rather than gone by
  // an exit of its own.
  bool Kill() {
    if (!Started() || killed_) return killedRunning_;
    killed_ = true;
#ifdef _WIN32
    killedRunning_ = TerminateProcess(process_, kKilledCode) != 0;
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    killedRunning_ = killedRunning_ && GetExitCodeProcess(process_, &code) && code == kKilledCode;
#else
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    killedRunning_ = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
#endif
    return killedRunning_;
  }

 private:
#ifdef _WIN32
  static constexpr UINT kKilledCode = 0xDEAD;
  HANDLE read_ = nullptr;
  HANDLE process_ = nullptr;
#else
  int read_ = -1;
  pid_t pid_ = -1;
#endif
  std::string buffer_;
  unsigned long startError_ = 0;
  bool killed_ = false;
  bool killedRunning_ = false;
};

TEST(StoreCrash, AWriterKilledAtRandomMomentsLosesNoReportedWriteAndLeavesASoundFile) {
  testing::TempDir dir("korvane crash");
  const std::string path = dir.File("mstsc.mdb");
  testing::MakeDataFile(path);
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);

  std::map<std::string, long long> reported;  // id -> the last value reported for it
  std::set<long long> unreported;             // per run, the value it was writing when killed
  int reports = 0;
  for (int run = 0; run < kRuns; ++run) {
    const long long first = (run + 1) * 1000000LL;
    long long next = first;
    Writer writer(path, first, static_cast<unsigned>(random()));
    ASSERT_TRUE(writer.Started()) << "error " << writer.StartError();
    const auto take = [&](const std::string& line) {
      std::istringstream fields(line);
      std::string id;
      long long value = 0;
      ASSERT_TRUE(fields >> id >> value) << line;
      ASSERT_EQ(value, next) << "reports come in order";
      reported[id] = value;
      ++next;
      ++reports;
    };
    std::string line;
    const int wait = static_cast<int>(random() % 12);
    for (int i = 0; i < wait && writer.ReadLine(line); ++i) take(line);
    // Lands the kill anywhere in the next write, its journal and its commit.
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    const bool wasRunning = writer.Kill();
    while (writer.ReadLine(line)) take(line);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(wasRunning) << "run " << run << ": the writer stopped by itself, the file would not open or save";
    unreported.insert(next);
  }
  EXPECT_GT(reports, kRuns) << "the writer hardly wrote anything";

  DBConnection db;
  ASSERT_TRUE(db.OpenAccess(path, kDatabasePassword));
  RecordSet records;
  records.SetConnection(db);
  ASSERT_TRUE(records.Open("PRAGMA integrity_check", kSourceSql));
  EXPECT_EQ(records.ReadText("integrity_check"), "ok");
  ASSERT_TRUE(records.Open("Server", kSourceTable));
  std::map<std::string, long long> stored;
  for (int i = 0; i < records.RecordCount(); ++i, records.MoveNext()) {
    const std::string id = records.ReadText("id");
    // Both fields go in one Update: a row with one of them is half a write.
    ASSERT_EQ(records.ReadText("服务器名"), records.ReadText("备注")) << "id " << id;
    stored[id] = std::stoll(records.ReadText("备注"));
  }
  // A row holds its last reported value, or the value of a write that committed but died
  // before its report.
  for (const auto& [id, value] : reported) {
    const auto row = stored.find(id);
    ASSERT_NE(row, stored.end()) << "the reported server " << id << " is gone";
    EXPECT_TRUE(row->second == value || (row->second > value && unreported.count(row->second)))
        << "id " << id << " holds " << row->second << ", reported " << value;
  }
  for (const auto& [id, value] : stored) {
    if (!reported.count(id)) {
      EXPECT_TRUE(unreported.count(value)) << "id " << id << " holds " << value;
    }
  }
}

}  // namespace
}  // namespace korvane
