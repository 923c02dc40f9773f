#include <cstdio>
#include <iostream>

#include "cli/CliApp.h"
#include "cli/DroppedFiles.h"
#include "cli/Wildcards.h"
#include "platform/CommandLine.h"
#include "platform/StopSignal.h"
#include "platform/Terminal.h"

int main(int argc, char** argv)
{
    const packsmith::ConsoleSettings console;
    packsmith::StopSignal::ReportClosedPipes();
    const std::vector<std::string> args =
        packsmith::WithWildcardsMatched(packsmith::CommandLineArguments(argc, argv), packsmith::PathsMatching);
    if (!packsmith::IsFileDrop(packsmith::HowConsoleStarted(), args))
        return packsmith::RunCli(args, std::cout, std::cerr);
    // Explorer made the console for the dropped files, and it closes with the program,
    // taking every message with it.
    const int status = packsmith::RunDroppedFiles(args, std::cout, std::cerr);
    std::cout << "\nPress Enter to close this window." << std::flush;
    std::getchar();
    return status;
}
