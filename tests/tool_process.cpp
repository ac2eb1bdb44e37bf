#include "tool_process.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

unsigned long processNumber() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

#if defined(_WIN32)

namespace {

HANDLE inheritable(const fs::path &path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring wide(const std::string &utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

} // namespace

Outcome runProgram(const fs::path &program, const std::string &arguments, const fs::path &dir,
                   const fs::path &tmp, const std::string &input) {
    std::ofstream(dir / "stdin", std::ios::binary) << input;
    // Windows quotes with double quotes; the arguments never hold one.
    std::string line = arguments;
    for (char &c : line)
        if (c == '\'')
            c = '"';
    std::wstring commandLine = L"\"" + fs::absolute(program).wstring() + L"\" " + wide(line);

    HANDLE in = inheritable(dir / "stdin", false);
    HANDLE out = inheritable(dir / "stdout", true);
    HANDLE err = inheritable(dir / "stderr", true);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // The child finds its temporary folder through TMP and TEMP.
    SetEnvironmentVariableW(L"TMP", fs::absolute(tmp).c_str());
    SetEnvironmentVariableW(L"TEMP", fs::absolute(tmp).c_str());
    BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  fs::absolute(dir).c_str(), &startup, &process);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started)
        return Outcome{-1, "", "cannot start " + program.string()};
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return Outcome{static_cast<int>(code), readFile(dir / "stdout"), readFile(dir / "stderr")};
}

#else

Outcome runProgram(const fs::path &program, const std::string &arguments, const fs::path &dir,
                   const fs::path &tmp, const std::string &input) {
    std::ofstream(dir / "stdin", std::ios::binary) << input;
    std::string command = "cd '" + dir.string() + "' && TMPDIR='" + tmp.string() + "' '" +
                          program.string() + "' " + arguments + " <'" + (dir / "stdin").string() +
                          "' >'" + (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() +
                          "'";
    int raw = std::system(command.c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "stdout"),
                   readFile(dir / "stderr")};
}

#endif
