// Reading both tools' command lines into plain structs.
#include "cli/command_line.h"

#include <cstring>

#ifndef D88CUT_VERSION
#error "the build defines D88CUT_VERSION as the project's version"
#endif

namespace {

// "-" alone counts as an option too, so that it never reads as a file by
// accident; a file of that name is given as ./- or after "--".
bool isOption(const char* argument)
{
    return argument[0] == '-';
}

// The options both tools share, and the file. takeToolOption is asked about
// every other option and says whether it knew it; an option with a value in
// the next argument moves i on to it.
template <typename Options, typename TakeToolOption>
Options parseCommon(int argc, char* argv[], TakeToolOption takeToolOption)
{
    Options options;
    bool optionsEnded = false;
    bool wrong = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!optionsEnded && isOption(argument)) {
            if (std::strcmp(argument, "--help") == 0) {
                options.action = CommandAction::ShowHelp;
                return options;
            }
            if (std::strcmp(argument, "--version") == 0) {
                options.action = CommandAction::ShowVersion;
                return options;
            }
            if (std::strcmp(argument, "--") == 0) {
                optionsEnded = true;
            } else if (!takeToolOption(options, argc, argv, i)) {
                wrong = true;
            }
        } else if (options.path != nullptr) {
            wrong = true;
        } else {
            options.path = argument;
        }
    }
    options.action = wrong || options.path == nullptr ? CommandAction::ShowUsage : CommandAction::Run;
    return options;
}

}  // namespace

CutOptions parseCutCommandLine(int argc, char* argv[])
{
    return parseCommon<CutOptions>(argc, argv, [](CutOptions& options, int count, char* arguments[], int& i) {
        static const char kDirectoryOption[] = "--directory=";
        if (std::strcmp(arguments[i], "-d") == 0 && i + 1 < count) {
            options.directory = arguments[++i];
            return true;
        }
        if (std::strncmp(arguments[i], kDirectoryOption, sizeof kDirectoryOption - 1) == 0) {
            options.directory = arguments[i] + sizeof kDirectoryOption - 1;
            return true;
        }
        return false;
    });
}

InfoOptions parseInfoCommandLine(int argc, char* argv[])
{
    return parseCommon<InfoOptions>(argc, argv, [](InfoOptions& options, int, char* arguments[], int& i) {
        // One form at most: --json and --svg together are a wrong command line.
        const bool formChosen = options.json || options.svg;
        if (std::strcmp(arguments[i], "--json") == 0 && !formChosen) {
            options.json = true;
            return true;
        }
        if (std::strcmp(arguments[i], "--svg") == 0 && !formChosen) {
            options.svg = true;
            return true;
        }
        return false;
    });
}

const char* cutVersionText()
{
    return "d88cut " D88CUT_VERSION "\n";
}

const char* infoVersionText()
{
    return "d88info " D88CUT_VERSION "\n";
}
