#include "CliApp.h"

#include <filesystem>
#include <unistd.h>

#include "CliOptions.h"
#include "CliWindow.h"
#include "MainFormLogic.h"
#include "StopSignal.h"

namespace packsmith {

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;

// The open dialog reports full paths; so does the command line.
std::string FullPath(const std::string& path)
{
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const std::function<void(Dispatcher&)>& attachHandlers)
{
    CliOptions options;
    try {
        options = ParseCliOptions(args);
    } catch (const UsageError& e) {
        err << "packsmith-cli: " << e.what() << "\nTry 'packsmith-cli --help' for more information.\n";
        return kExitUsage;
    }
    if (options.What == CliOptions::Action::Help) {
        out << CliUsage();
        return kExitCompleted;
    }
    if (options.What == CliOptions::Action::Version) {
        out << "packsmith-cli " << PACKSMITH_VERSION << '\n';
        return kExitCompleted;
    }

    CliWindow::Settings settings;
    settings.OpenAnswer.FilterIndex = options.FilterPosition;
    for (const auto& file : options.Files)
        settings.OpenAnswer.Files.push_back(FullPath(file));
    settings.TargetDirectory = FullPath(options.TargetDirectory);
    settings.Quiet = options.Quiet;
    settings.ProgressLine = !options.Quiet && isatty(STDERR_FILENO) == 1;

    CliWindow window(out, err, settings);
    MainFormLogic form(window);
    window.OnStopSignal([&form] { form.StopClick(); });
    form.FormCreate();
    if (attachHandlers)
        attachHandlers(form.Handlers());

    const StopSignal stopSignal;
    if (!form.Execute([&] { form.BAddLogClick(); }) || !form.Execute([&] { form.BProcessClick(); }))
        return kExitFailed;
    return form.LastRunOutcome() == RunOutcome::Stopped ? kExitStopped : kExitCompleted;
}

} // namespace packsmith
