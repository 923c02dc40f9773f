#include <cstdio>
#include <iostream>

#include "cli/CliApp.h"
#include "cli/DroppedFiles.h"
#include "platform/CommandLine.h"
#include "platform/StopSignal.h"
#include "platform/Terminal.h"

int main(int argc, char** argv)
{
    packsmith::UseUtf8Console();
    packsmith::StopSignal::ReportClosedPipes();
    std::vector<std::string> args = packsmith::CommandLineArguments(argc, argv);
    // Started for files dropped on it, the program has a window of its own, which would take
    // every message with it as the program ends.
    const bool ownConsole = packsmith::ConsoleIsOwn();
    if (ownConsole)
        args = packsmith::WithDropTarget(std::move(args));
    const int status = packsmith::RunCli(args, std::cout, std::cerr);
    if (ownConsole) {
        std::cout << "\nPress Enter to close this window." << std::flush;
        std::getchar();
    }
    return status;
}
