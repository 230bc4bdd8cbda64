// Children on Windows: CreateProcess with a pipe, read by polling it with
// PeekNamedPipe, every child in one job object; stop requests from the
// console's control handler. Each child is asked to stop through an event of
// its own (see ComPortAPI.h), on which it puts its ports back and ends.
#include "ChildProcess.h"

#include <cstdint>
#include <cstdio>

#include "ComPortAPI.h"
#include "Platform.h"

struct ChildProcess {
    HANDLE process;
    HANDLE stopEvent;
    HANDLE output;  // the pipe's read end; NULL once it has ended
};

namespace {

#define STOP_GRACE_MS 2000
#define POLL_STEP_MS 10
// What a console program ended by Ctrl-C exits with.
#define EXIT_CODE_CONTROL_C 0xC000013AUL

volatile LONG gStopRequested = 0;

BOOL WINAPI onConsoleControl(DWORD event)
{
    InterlockedExchange(&gStopRequested, 1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process when this handler returns: the main
        // thread gets the time to stop the children first.
        Sleep(4000);
    }
    return TRUE;
}

// Every child joins this job; when the parent ends, however it ends, the
// system closes the job's handle and the job's processes end with it.
HANDLE childrenJob(void)
{
    static HANDLE job = NULL;
    if (job == NULL) {
        job = CreateJobObjectA(NULL, NULL);
        if (job != NULL) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
            ZeroMemory(&limits, sizeof limits);
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
    }
    return job;
}

// One argument as the C runtime's command-line parser reads it back.
std::string quoted(const std::string &argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string text = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them.
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    text += '"';
    return text;
}

std::string systemMessage(DWORD code)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0, text, sizeof text,
                   NULL);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

int exitCodeOf(HANDLE process)
{
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<int>(code);
}

void release(ChildProcess *child)
{
    if (child->output != NULL) {
        CloseHandle(child->output);
    }
    CloseHandle(child->process);
    CloseHandle(child->stopEvent);
    delete child;
}

// 1 when the pipe has bytes to read or has ended.
bool outputPending(const ChildProcess *child)
{
    if (child->output == NULL) {
        return false;
    }
    DWORD available = 0;
    return !PeekNamedPipe(child->output, NULL, 0, NULL, &available, NULL) || available > 0;
}

}  // namespace

std::string ChildProcess_OwnExecutable(void)
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(NULL, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return "";
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Creating a link on Windows takes a privilege that a hostile user of a
// shared folder does not have, so the child opens the file by its name.
std::string ChildProcess_PassedFileName(const std::string &name)
{
    return name;
}

ChildProcess *ChildProcess_Start(const std::vector<std::string> &arguments, std::string &error, FILE *)
{
    if (arguments.empty()) {
        error = "no program";
        return nullptr;
    }
    std::string commandLine;
    for (const std::string &argument : arguments) {
        commandLine += (commandLine.empty() ? "" : " ") + quoted(argument);
    }

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        error = "no pipe: " + systemMessage(GetLastError());
        return nullptr;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    const HANDLE stopEvent = CreateEventA(&inheritable, TRUE, FALSE, NULL);
    if (stopEvent == NULL) {
        error = "no stop event: " + systemMessage(GetLastError());
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return nullptr;
    }
    // The child's environment is this process's: the variable is set for
    // the start alone.
    char stopEventValue[32];
    snprintf(stopEventValue, sizeof stopEventValue, "%llu",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(stopEvent)));
    SetEnvironmentVariableA(COM_PORT_STOP_EVENT_VARIABLE, stopEventValue);
    HANDLE nullDevice = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                    OPEN_EXISTING, 0, NULL);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullDevice;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION started;
    ZeroMemory(&started, sizeof started);
    // No console of its own, so no Ctrl-C of the console reaches it;
    // suspended until it has joined the job.
    const BOOL created = CreateProcessA(arguments[0].c_str(), &commandLine[0], NULL, NULL, TRUE,
                                        CREATE_NO_WINDOW | CREATE_SUSPENDED, NULL, NULL, &startup, &started);
    const DWORD createError = GetLastError();
    SetEnvironmentVariableA(COM_PORT_STOP_EVENT_VARIABLE, NULL);
    CloseHandle(writeEnd);
    if (nullDevice != INVALID_HANDLE_VALUE) {
        CloseHandle(nullDevice);
    }
    if (!created) {
        CloseHandle(readEnd);
        CloseHandle(stopEvent);
        error = "cannot start " + arguments[0] + ": " + systemMessage(createError);
        return nullptr;
    }
    const HANDLE job = childrenJob();
    if (job != NULL) {
        AssignProcessToJobObject(job, started.hProcess);
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    return new ChildProcess{started.hProcess, stopEvent, readEnd};
}

void ChildProcess_WaitForOutput(const std::vector<ChildProcess *> &children, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += POLL_STEP_MS) {
        if (gStopRequested) {
            return;
        }
        for (const ChildProcess *child : children) {
            if (outputPending(child)) {
                return;
            }
        }
        Sleep(POLL_STEP_MS);
    }
}

bool ChildProcess_Read(ChildProcess *child, std::string &output)
{
    while (child->output != NULL) {
        DWORD available = 0;
        if (!PeekNamedPipe(child->output, NULL, 0, NULL, &available, NULL)) {
            CloseHandle(child->output);
            child->output = NULL;
            break;
        }
        if (available == 0) {
            return true;
        }
        char buffer[4096];
        DWORD read = 0;
        const DWORD wanted = available < sizeof buffer ? available : sizeof buffer;
        if (!ReadFile(child->output, buffer, wanted, &read, NULL)) {
            CloseHandle(child->output);
            child->output = NULL;
            break;
        }
        output.append(buffer, read);
    }
    return false;
}

int ChildProcess_Finish(ChildProcess *child)
{
    if (WaitForSingleObject(child->process, STOP_GRACE_MS) != WAIT_OBJECT_0) {
        return ChildProcess_Stop(child);
    }
    const int status = exitCodeOf(child->process);
    release(child);
    return status;
}

int ChildProcess_Stop(ChildProcess *child)
{
    // A child that does not end within the grace of its stop event is ended
    // at once; the system closes its port as it stands.
    const bool endedOnRequest =
        SetEvent(child->stopEvent) && WaitForSingleObject(child->process, STOP_GRACE_MS) == WAIT_OBJECT_0;
    if (!endedOnRequest) {
        TerminateProcess(child->process, 1);
    }
    WaitForSingleObject(child->process, INFINITE);
    const int status = exitCodeOf(child->process);
    release(child);
    return status;
}

void ChildProcess_CatchStopRequests(void)
{
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void ChildProcess_ReleaseStopRequests(void)
{
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
}

bool ChildProcess_StopRequested(void)
{
    return gStopRequested != 0;
}

void ChildProcess_EndAsRequested(void)
{
    if (gStopRequested == 0) {
        return;
    }
    fflush(stdout);
    ExitProcess(EXIT_CODE_CONTROL_C);
}

long long ChildProcess_RequestedExitStatus(void)
{
    return static_cast<long long>(static_cast<DWORD>(EXIT_CODE_CONTROL_C));
}
