#include "childrun.h"

#include "benchfiles.h"

#include <chrono>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

ChildRun runChild(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0
        || posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) != 0)
        benchFailed("cannot set up a child's output");

    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        benchFailed("cannot start " + arguments.front());
    int status = 0;
    rusage usage {};
    if (wait4(child, &status, 0, &usage) != child)
        systemCallFailed("cannot wait for " + arguments.front());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string command;
        for (const std::string &argument : arguments)
            command += ' ' + argument;
        benchFailed("failed:" + command);
    }
    return {elapsed.count(), usage.ru_maxrss, double(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6};
}
