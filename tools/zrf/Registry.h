// Subcommands that register themselves. A command file defines one static
// CommandRegistration; main() adds every registered command after the
// built-in ones, so a new command needs no edit of main.cpp.
#pragma once

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace zrf {

struct RegisteredCommand {
    CLI::App* command = nullptr;  // the subcommand added to the application
    std::function<int()> run;     // runs it once the command line is parsed
};

// Adds one subcommand to `app`. `argc`/`argv` are the process's, for
// commands that need a Qt application object.
using CommandFactory = RegisteredCommand (*)(CLI::App& app, int& argc, char** argv);

std::vector<CommandFactory>& RegisteredCommands();

struct CommandRegistration {
    explicit CommandRegistration(CommandFactory factory) { RegisteredCommands().push_back(factory); }
};

}  // namespace zrf
