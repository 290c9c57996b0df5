#include "CliArgs.h"

#include <cwchar>

namespace {
const std::vector<std::wstring> kCommon = {L"--csv", L"--json", L"--help"};
}  // namespace

const std::vector<CliCommandDef>& CliCommands() {
  static const std::vector<CliCommandDef> kCommands = {
      {L"servers",
       0,
       0,
       {L"--node", L"--out"},
       {},
       L"plover-cli servers [--node N]\n"
       L"  The OPC servers registered on this computer or on node N: ProgID and the OPC DA\n"
       L"  versions their registered categories name.\n"},
      {L"status",
       1,
       1,
       {L"--node", L"--out"},
       {},
       L"plover-cli status PROGID [--node N]\n"
       L"  The server's status: vendor, state, start, current and last update times, group\n"
       L"  count, bandwidth and version.\n"},
      {L"browse",
       1,
       1,
       {L"--node", L"--out", L"--filter", L"--type", L"--access", L"--depth"},
       {L"--flat", L"--tree"},
       L"plover-cli browse PROGID [--node N] [--filter F] [--type T] [--access read|write]\n"
       L"                  [--flat] [--tree] [--depth D]\n"
       L"  The address space, one fully qualified item ID per line. --flat asks the server for\n"
       L"  its flat listing instead of walking its branches; --tree prints an indented tree;\n"
       L"  --depth D lists D levels below the root. F is the server's name filter (* ? #),\n"
       L"  T one of BOOL SHORT INT FLOAT DOUBLE STRING.\n"},
      {L"read",
       2,
       -1,
       {L"--node", L"--out", L"--file", L"--max-age"},
       {L"--device"},
       L"plover-cli read PROGID ITEM... [--device | --max-age MS] [--file LIST] [--node N]\n"
       L"  Value, type, quality and time stamp of each item, from the server's cache or, with\n"
       L"  --device, from the device. --max-age MS takes the cache where its value is at most\n"
       L"  MS milliseconds old and the device otherwise (0: the device, cache: the cache);\n"
       L"  an OPC DA 3.0 server then reads without a group (IOPCItemIO), an older one from\n"
       L"  the device for 0 and from its cache otherwise. LIST is a UTF-8 file with one item\n"
       L"  ID a line.\n"},
      {L"write",
       2,
       -1,
       {L"--node", L"--out", L"--file", L"--quality", L"--time"},
       {L"--async"},
       L"plover-cli write PROGID ITEM=VALUE... [--file CSV] [--async] [--node N]\n"
       L"                 [--quality Q] [--time T]\n"
       L"  Writes each value in the item's own type and prints the result per item. CSV is a\n"
       L"  UTF-8 file of item,value lines (RFC 4180 quoting). No value is written unless\n"
       L"  every value converts to its item's type. --quality and --time write that quality\n"
       L"  (good, bad, uncertain or a number such as 0xC0) and time stamp (now or UTC as\n"
       L"  2024-05-01T08:30:00.000Z) with each value, through OPC DA 3.0 (IOPCItemIO);\n"
       L"  a server without it writes nothing and the command says so (exit 1).\n"},
      {L"watch",
       2,
       -1,
       {L"--node", L"--out", L"--file", L"--rate", L"--deadband", L"--seconds", L"--count"},
       {L"--reconnect"},
       L"plover-cli watch PROGID ITEM... [--file LIST] [--rate MS] [--deadband P]\n"
       L"                 [--seconds S | --count N] [--reconnect] [--node N]\n"
       L"  Subscribes to the items and prints every change as it arrives, until S seconds\n"
       L"  have passed, N changes were printed, or Ctrl+C. Defaults: rate 1000 ms, deadband 0.\n"
       L"  A lost server ends the watch (exit 3); with --reconnect each item gets a record of\n"
       L"  bad quality (comm failure) and the watch connects again, after 1 s, then pauses\n"
       L"  growing to 30 s, and goes on.\n"},
      {L"props",
       2,
       2,
       {L"--node", L"--out"},
       {},
       L"plover-cli props PROGID ITEM [--node N]\n"
       L"  The item's OPC DA properties (in one call from an OPC DA 3.0 server), or its\n"
       L"  attributes where the server has none.\n"},
  };
  return kCommands;
}

std::wstring CliOverview() {
  std::wstring text =
      L"plover-cli: a command-line OPC Data Access client.\n"
      L"Usage: plover-cli COMMAND [ARGUMENTS] [--csv | --json] [--out FILE]\n"
      L"       plover-cli --version\n\nCommands:\n";
  for (const CliCommandDef& c : CliCommands()) text += std::wstring(L"  ") + c.name + L"\n";
  text +=
      L"\n'plover-cli COMMAND --help' describes a command.\n"
      L"Exit codes: 0 all good, 1 some items failed, 2 usage error, 3 could not connect or the\n"
      L"server was lost.\n";
  return text;
}

static bool Contains(const std::vector<std::wstring>& list, const std::wstring& s) {
  for (const std::wstring& e : list)
    if (e == s) return true;
  return false;
}

bool ParseCliArgs(const std::vector<std::wstring>& argv, CliArgs& out, std::wstring& error) {
  out = CliArgs{};
  for (const std::wstring& a : argv)
    if (a == L"--help" || a == L"-h" || a == L"/?") out.help = true;
  if (argv.empty()) {
    error = L"no command given";
    return false;
  }
  for (const CliCommandDef& c : CliCommands())
    if (argv[0] == c.name) out.command = &c;
  if (!out.command) {
    if (out.help && argv[0].rfind(L"-", 0) == 0) return true;  // "plover-cli --help"
    error = L"unknown command '" + argv[0] + L"'";
    return false;
  }
  if (out.help) return true;
  bool csv = false, json = false;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::wstring& a = argv[i];
    if (a.size() > 2 && a.compare(0, 2, L"--") == 0) {
      if (Contains(out.command->valueOptions, a)) {
        if (i + 1 >= argv.size()) {
          error = L"option " + a + L" needs a value";
          return false;
        }
        if (out.values.count(a)) {
          error = L"option " + a + L" given twice";
          return false;
        }
        out.values[a] = argv[++i];
      } else if (Contains(out.command->flagOptions, a) || Contains(kCommon, a)) {
        out.flags.insert(a);
        csv |= a == L"--csv";
        json |= a == L"--json";
      } else {
        error = L"unknown option '" + a + L"' for " + out.command->name;
        return false;
      }
    } else {
      out.args.push_back(a);
    }
  }
  if (csv && json) {
    error = L"--csv and --json exclude each other";
    return false;
  }
  out.format = csv ? CliFormat::kCsv : json ? CliFormat::kJson : CliFormat::kColumns;
  // A list file stands in for the items.
  const int count = static_cast<int>(out.args.size()) + (out.values.count(L"--file") ? 1 : 0);
  if (out.command->minArgs > 0 && out.args.empty()) {
    error = L"missing ProgID";
    return false;
  }
  if (count < out.command->minArgs) {
    error = L"missing item";
    return false;
  }
  if (out.command->maxArgs >= 0 && static_cast<int>(out.args.size()) > out.command->maxArgs) {
    error = L"too many arguments ('" + out.args[static_cast<size_t>(out.command->maxArgs)] + L"')";
    return false;
  }
  if (out.values.count(L"--seconds") && out.values.count(L"--count")) {
    error = L"--seconds and --count exclude each other";
    return false;
  }
  if (out.Has(L"--flat") && out.Has(L"--tree")) {
    error = L"--flat and --tree exclude each other";
    return false;
  }
  return true;
}

bool ParseCliNumber(const std::wstring& text, double min, double max, double& value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  value = std::wcstod(text.c_str(), &end);
  return end && *end == L'\0' && value >= min && value <= max;
}
