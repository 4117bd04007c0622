#pragma once

// While it lives, others can tell that Rudimix runs. On Windows it holds the named mutex
// RUDIMIX_RUNNING_MUTEX twice: in this session, and under "Global\" for the other sessions of
// the machine; the installer and the uninstaller look for it before they touch rudimix.exe.
// Elsewhere it holds nothing: a package manager replaces or removes the files of a running
// program there without harm.
class RunningMark {
public:
    RunningMark();
    ~RunningMark();
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

private:
    void* mSession = nullptr;
    void* mGlobal = nullptr;
};
