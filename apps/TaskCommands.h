#pragma once
// The `tasks` command of the lumeta language: the task program's class entries in the settings
// store, and the tasks of its store.
#include <iosfwd>
#include <string>
#include <vector>

inline constexpr const char* TasksCommandUsage =
    "tasks register [--caldav URL [--user NAME] [--create] [--ca-file FILE] [--allow-http]] [LIBRARY] | unregister | "
    "status | list | owner [NAME EMAIL]";

// register writes the class entries for LIBRARY (default: lumeta_taskprogram.so in the plug-in
// folder) and names the store: with --caldav the calendar collection at URL (made with --create
// when missing; registered only when it answers), else the folder; unregister removes the
// entries, status prints them, the store and whether its server answers, list prints the store's tasks one a line:
// UID, subject, status, % complete, due date, separated by tabs; owner prints the organizer of sent
// tasks ("owner NAME <EMAIL>", "owner none"), or with NAME and EMAIL sets it. Raises ELumetaError (E_INVALIDARG)
// for bad words, a library that is not there, or list while the program is not registered.
void RunTasksCommand(const std::vector<std::string>& AArgs, std::ostream& AOut);
