// Child processes and the process list: starting a program (optionally with pipes for its
// standard handles), reaping it when it has ended, reading and writing its pipes without ever
// waiting, and the names of the running processes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace navelo {

// The program's ends of a piped child's standard handles; -1 when absent.
struct ChildPipes {
  int input = -1;   // we write, the child reads
  int output = -1;  // the child's standard output, read without waiting
  int error = -1;   // the child's standard error, read without waiting
};

struct SpawnRequest {
  std::string program;            // native path of the file to execute
  std::vector<std::string> argv;  // argv[0] first; UTF-8
  std::string directory;          // native; empty: the program's current directory
  bool with_pipes = false;        // else the standard handles are /dev/null
};

// Starts the child in a session of its own, with none of our other descriptors. From the first
// start on, ended children are reaped by the kernel at once (SA_NOCLDWAIT), so none is ever left
// as a zombie. Returns its id,
// or -1 with `error` holding the errno value of the failed start (exec failures included).
int SpawnChild(const SpawnRequest& request, ChildPipes* pipes, int& error);

// True when the child has ended (it is reaped then, so it never lingers as a zombie) or is no
// child of ours. Never waits.
bool ChildEnded(int pid);

// A running process: the name the kernel keeps for it (at most 15 bytes), the full path of its
// executable when readable, and its first argument.
struct ProcessEntry {
  std::string name;
  std::string exe;
  std::string arg0;
};
// Every process that is running now; processes that have ended but are not reaped yet are left
// out.
std::vector<ProcessEntry> ListProcesses();

// What the pipe holds now, at most max bytes; empty when nothing is waiting or the pipe is closed.
std::string ReadAvailable(int fd, size_t max);
// Writes what the pipe takes without waiting; a closed reader is not an error signal.
void WriteAvailable(int fd, std::string_view bytes);
void CloseDescriptor(int fd);

// Opens a document or a folder with the program the desktop chose for it, in directory (native;
// empty: the current one). Returns the id of the process started when one can be followed (it is
// then a child as SpawnChild makes them), 0 when the document was handed over but no process can
// be followed, kNoDocumentOpener when the desktop has no program for it, or -1 with `error`
// holding the errno value of the failed start.
constexpr int kNoDocumentOpener = -2;
int OpenDocument(const std::string& path, const std::string& directory, int& error);

// The platform's own interpreter of batch files (.bat, .cmd), started as "cmd.exe /c FILE"; empty
// where there is none and the program's own batch runner takes them.
std::string SystemBatchInterpreter();

// True for a regular file we may execute.
bool IsExecutableFile(const std::string& path);
// The first executable called name along PATH; empty when there is none.
std::string FindInSearchPath(std::string_view name);

// The show state a starter handed this program in NAVELO_SHOW ("minimized" for a program started
// minimised), as Windows hands one to every program it starts. Taken once at start and removed
// from the environment, so the programs this one starts do not inherit it.
std::string TakeStartShowState();

}  // namespace navelo
