#include "Settings.h"

#include "Cp1250.h"
#include "HostFacts.h"

#include <algorithm>
#include <cctype>

namespace provisioning {

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// Words as a person types them: "brak", "Rts/Cts", "Always".
bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int32_t AuthChoice(const std::string& mode) {
    for (const AuthWord& entry : kAuthWords)
        if (SameWord(mode, entry.word))
            return entry.choice;
    return module_commands::kAuthNotChosen;
}

// The label the module commands know for a flow word: a label in any letter case, or "none".
const char* FlowLabelOf(const std::string& word) {
    for (const char* label : module_commands::kFlowLabels)
        if (SameWord(word, label))
            return label;
    return SameWord(word, kFlowNoneWord) ? module_commands::kFlowNone : nullptr;
}

// A placeholder the name does not know ({x}, {N}) would reach the module as braces; braces around
// anything but a word ("{}", "{ 1 }") are the name's own.
bool PlaceholdersKnown(const std::string& pattern, std::string& error) {
    for (size_t open = pattern.find('{'); open != std::string::npos; open = pattern.find('{', open + 1)) {
        const size_t close = pattern.find('}', open);
        if (close == std::string::npos)
            return true;
        const std::string word = pattern.substr(open + 1, close - open - 1);
        if (word == "n" || word == "port" || word.empty())
            continue;
        if (std::all_of(word.begin(), word.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; })) {
            error = "the name holds {" + word + "}: only {n} and {port} are replaced";
            return false;
        }
    }
    return true;
}

// An empty value clears what the module holds; it goes out only when asked for.
bool NotEmpty(const std::optional<std::string>& value, bool allowEmpty, const char* what, std::string& error) {
    if (!value || !value->empty() || allowEmpty)
        return true;
    error = std::string("the ") + what + " is empty; an empty " + what + " is sent only when asked for (--allow-empty)";
    return false;
}

template <typename Item, size_t N, typename Text>
std::string ListOf(const Item (&items)[N], Text text, std::string_view lastJoin) {
    std::string list;
    for (size_t i = 0; i < N; ++i) {
        if (i > 0)
            list += i + 1 == N ? lastJoin : std::string_view(", ");
        list += text(items[i]);
    }
    return list;
}

// The value in Windows-1250, refused when a character has no single-byte form or would break the
// command's framing on the line.
// A secret value (the PIN) is never repeated in a message.
bool ToModuleText(const std::string& utf8, size_t maxChars, const char* what, bool secret, std::string& out,
                  std::string& error) {
    const std::string quoted = secret ? std::string() : " \"" + utf8 + "\"";
    // U+0080 to U+009F (C2 80 to C2 9F in UTF-8) are controls too, though the code page's undefined
    // bytes would carry some of them to the module.
    for (size_t i = 0; i + 1 < utf8.size(); ++i)
        if (utf8[i] == '\xC2' && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(utf8[i + 1]) >= 0x80) {
            error = std::string("the ") + what + " holds a control character (U+0080 to U+009F)";
            return false;
        }
    const cp1250::Encoded encoded = cp1250::Utf8ToCp1250(utf8);
    if (encoded.unrepresentable > 0) {
        error = std::string("the ") + what + quoted + " holds a character Windows-1250 cannot hold";
        return false;
    }
    for (const char c : encoded.bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            error = std::string("the ") + what + " holds a control character (a line end, a tab, ...)";
            return false;
        }
    }
    if (encoded.bytes.size() > maxChars) {
        error = std::string("the ") + what + quoted + " has " + std::to_string(encoded.bytes.size()) +
                " characters; the module takes at most " + std::to_string(maxChars);
        return false;
    }
    out = encoded.bytes;
    return true;
}

} // namespace

std::string FlowLabelList(std::string_view lastJoin) {
    return ListOf(
        module_commands::kFlowLabels, [](const char* label) { return std::string(label); }, lastJoin);
}

std::string AuthWordList(std::string_view lastJoin, bool withMeaning) {
    return ListOf(
        kAuthWords,
        [withMeaning](const AuthWord& entry) {
            return withMeaning ? std::string(entry.word) + " (" + entry.meaning + ")"
                               : std::string(entry.word);
        },
        lastJoin);
}

bool ParsePreset(std::string_view text, const std::string& source, SettingsInput& out, std::string& error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3); // a byte order mark left by a Windows editor
    SettingsInput preset;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = source + ":" + std::to_string(lineNumber) + ": ";
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = where + "expected key=value, found \"" + std::string(line) + "\"";
            return false;
        }
        const std::string key(Trim(line.substr(0, equals)));
        const std::string value(Trim(line.substr(equals + 1)));
        std::optional<std::string>* slot = key == "name"   ? &preset.name
                                           : key == "pin"  ? &preset.pin
                                           : key == "flow" ? &preset.flow
                                           : key == "auth" ? &preset.auth
                                           : key == "pair-pin" ? &preset.pairPin
                                                           : nullptr;
        if (slot == nullptr) {
            error = where + "unknown key \"" + key + "\" (name, pin, flow, auth, pair-pin)";
            return false;
        }
        if (slot->has_value()) {
            error = where + "\"" + key + "\" given twice";
            return false;
        }
        *slot = value;
    }
    out = preset;
    return true;
}

bool ReadPreset(const std::string& path, SettingsInput& out, std::string& error) {
    std::string text;
    if (!host_facts::ReadSmallInput(path, kMaxPresetBytes, text, error)) {
        error = "cannot read the preset " + path + ": " + error;
        return false;
    }
    return ParsePreset(text, path, out, error);
}

SettingsInput Merge(const SettingsInput& preset, const SettingsInput& options) {
    SettingsInput merged = preset;
    if (options.name)
        merged.name = options.name;
    if (options.pin)
        merged.pin = options.pin;
    if (options.flow)
        merged.flow = options.flow;
    if (options.auth)
        merged.auth = options.auth;
    if (options.pairPin)
        merged.pairPin = options.pairPin;
    merged.allowEmpty = preset.allowEmpty || options.allowEmpty;
    return merged;
}

bool LoadSettings(const std::string& presetPath, const SettingsInput& given, SettingsInput& out, std::string& error) {
    SettingsInput preset;
    if (!presetPath.empty() && !ReadPreset(presetPath, preset, error))
        return false;
    out = Merge(preset, given);
    return true;
}

bool IsEmpty(const SettingsInput& input) {
    return !input.name && !input.pin && !input.flow && !input.auth;
}

std::string ExpandName(const std::string& pattern, const std::string& port, size_t position) {
    std::string name;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 6, "{port}") == 0) {
            name += port;
            i += 6;
        } else if (pattern.compare(i, 3, "{n}") == 0) {
            name += std::to_string(position);
            i += 3;
        } else {
            name += pattern[i++];
        }
    }
    return name;
}

bool BuildSettings(const SettingsInput& input, const std::string& port, size_t position, MODULE_SETTINGS& out,
                   std::string& error) {
    MODULE_SETTINGS settings;
    if (!NotEmpty(input.name, input.allowEmpty, "name", error) || !NotEmpty(input.pin, input.allowEmpty, "PIN", error) ||
        (input.name && !PlaceholdersKnown(*input.name, error)))
        return false;
    if (input.name) {
        settings.setName = 1;
        if (!ToModuleText(ExpandName(*input.name, port, position), module_commands::kNameMaxChars, "name", false,
                          settings.name, error))
            return false;
    }
    if (input.pin) {
        settings.setPin = 1;
        if (!ToModuleText(*input.pin, module_commands::kPinMaxChars, "PIN", true, settings.pin, error))
            return false;
    }
    if (input.flow) {
        const char* label = FlowLabelOf(*input.flow);
        if (label == nullptr) {
            error = "unknown flow control \"" + *input.flow + "\" (" + FlowLabelList(", ") + ", or " + kFlowNoneWord +
                    ")";
            return false;
        }
        settings.setFlow = 1;
        settings.protocolLabel = label;
    }
    if (input.auth) {
        settings.authChoice = AuthChoice(*input.auth);
        if (settings.authChoice == module_commands::kAuthNotChosen) {
            error = "unknown authentication mode \"" + *input.auth + "\" (" + AuthWordList(", ") + ")";
            return false;
        }
        settings.setAuth = 1;
    }
    out = settings;
    return true;
}

bool ReadPinFile(const std::string& path, std::string& pin, std::string& error) {
    std::string text;
    if (!host_facts::ReadSmallInput(path, kMaxPinFileBytes, text, error)) {
        error = "cannot read the PIN file " + path + ": " + error;
        return false;
    }
    const size_t end = text.find_first_of("\r\n");
    pin = text.substr(0, end);
    return true;
}

} // namespace provisioning
