#include "testing/ChildProcess.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace packsmith::test {

pid_t StartChild(const std::string& program, const std::vector<std::string>& args, const ChildSetup& setup)
{
    // Made before the fork: the child only makes system calls.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child != 0)
        return child;
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(number, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    umask(setup.Umask);
    if (!setup.Directory.empty() && chdir(setup.Directory.c_str()) != 0)
        _exit(99);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(setup.OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(setup.ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0)
        _exit(99);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(98);
}

} // namespace packsmith::test
