#include "cli/Wildcards.h"

#include "cli/CliOptions.h"

namespace packsmith {

std::vector<std::string> WithWildcardsMatched(const std::vector<std::string>& args, const PatternMatcher& match)
{
    std::vector<std::string> matched;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg.size() >= 2 && arg[0] == '-') {
            matched.push_back(arg);
            optionsEnded = arg == "--";
            if (OptionTakesValue(arg) && i + 1 < args.size())
                matched.push_back(args[++i]);
            continue;
        }
        std::vector<std::string> paths = match(arg);
        if (paths.empty())
            matched.push_back(arg);
        else
            matched.insert(matched.end(), paths.begin(), paths.end());
    }
    return matched;
}

} // namespace packsmith
