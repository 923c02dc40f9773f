#include <iostream>

#include "cli/CliApp.h"
#include "platform/CommandLine.h"
#include "platform/Terminal.h"

int main(int argc, char** argv)
{
    packsmith::UseUtf8Console();
    return packsmith::RunCli(packsmith::CommandLineArguments(argc, argv), std::cout, std::cerr);
}
