#include "extract/command_line.h"

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
// every other option first and says whether it knew it.
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
            } else if (!takeToolOption(options, argument)) {
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
    return parseCommon<CutOptions>(argc, argv, [](CutOptions&, const char*) { return false; });
}

InfoOptions parseInfoCommandLine(int argc, char* argv[])
{
    return parseCommon<InfoOptions>(argc, argv, [](InfoOptions& options, const char* argument) {
        if (std::strcmp(argument, "--json") == 0 && !options.json) {
            options.json = true;
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
