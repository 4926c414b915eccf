# vardis-cli as a command-line tool: its version, manual pages and completion.
