// The command lines of d88cut and d88info read into plain structs: --help,
// --version, "--" ending the options, and the one file. Nothing is printed
// here; the tools decide what each outcome prints.
#ifndef D88CUT_CLI_COMMAND_LINE_H
#define D88CUT_CLI_COMMAND_LINE_H

enum class CommandAction {
    Run,          // path names the file
    ShowHelp,
    ShowVersion,
    ShowUsage,    // a wrong command line
};

struct CutOptions {
    CommandAction action = CommandAction::ShowUsage;
    const char* path = nullptr;
    const char* directory = ".";  // -d DIR or --directory=DIR: where the files go
};

struct InfoOptions {
    CommandAction action = CommandAction::ShowUsage;
    const char* path = nullptr;
    bool json = false;
    bool svg = false;
};

// --help and --version win over everything else on the line; otherwise
// exactly one file must be given. An argument that starts with "-" is an
// option until "--".
CutOptions parseCutCommandLine(int argc, char* argv[]);
InfoOptions parseInfoCommandLine(int argc, char* argv[]);

// "NAME VERSION\n", the version being the project's.
const char* cutVersionText();
const char* infoVersionText();

#endif
