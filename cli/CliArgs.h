// The console client's command line: a command, its arguments and its options, checked
// against the command's own table before anything connects.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CliOutput.h"

struct CliCommandDef {
  const wchar_t* name;
  int minArgs;                             // positional arguments, ProgID included
  int maxArgs;                             // -1: any number
  std::vector<std::wstring> valueOptions;  // take the next argument
  std::vector<std::wstring> flagOptions;
  const wchar_t* usage;
};

struct CliArgs {
  const CliCommandDef* command = nullptr;
  std::vector<std::wstring> args;
  std::map<std::wstring, std::wstring> values;
  std::set<std::wstring> flags;
  CliFormat format = CliFormat::kColumns;
  bool help = false;

  bool Has(const std::wstring& flag) const { return flags.count(flag) != 0; }
  const std::wstring* Value(const std::wstring& option) const {
    auto it = values.find(option);
    return it == values.end() ? nullptr : &it->second;
  }
};

const std::vector<CliCommandDef>& CliCommands();
// The overview printed for no arguments, "--help" or an unknown command.
std::wstring CliOverview();

// false with a message for the user (without the usage text) when the line is not one the
// command takes. "--help" anywhere makes any other fault irrelevant.
bool ParseCliArgs(const std::vector<std::wstring>& argv, CliArgs& out, std::wstring& error);

// A whole decimal number in [min, max]; false for anything else.
bool ParseCliNumber(const std::wstring& text, double min, double max, double& value);
