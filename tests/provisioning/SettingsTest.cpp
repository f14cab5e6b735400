// A run's input before anything is sent: presets, the values' limits in Windows-1250 characters, names
// made distinct per port, how a reply is judged, and each port's log.
#include "LogNames.h"
#include "Outcome.h"
#include "Settings.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace provisioning;

namespace {

MODULE_SETTINGS Build(const SettingsInput& input, std::string& error, const std::string& port = "com5",
                      size_t position = 1) {
    MODULE_SETTINGS settings;
    settings.name = "untouched";
    if (!BuildSettings(input, port, position, settings, error))
        settings.name = "refused";
    return settings;
}

TEST(Preset, ReadsKeysSkipsCommentsAndOptionsWin) {
    SettingsInput preset;
    std::string error;
    ASSERT_TRUE(ParsePreset("\xEF\xBB\xBF# line 5\r\n\n  name = Drukarka #{n}  \r\npin=0000\nflow=RTS/CTS\n"
                            "auth=remember",
                            "line.preset", preset, error))
        << error;
    EXPECT_EQ(preset.name, "Drukarka #{n}");
    EXPECT_EQ(preset.pin, "0000");
    EXPECT_EQ(preset.flow, "RTS/CTS");
    EXPECT_EQ(preset.auth, "remember");

    SettingsInput options;
    options.pin = "";
    const SettingsInput merged = Merge(preset, options);
    EXPECT_EQ(merged.pin, ""); // an empty PIN given as an option is still a PIN to send
    EXPECT_EQ(merged.name, preset.name);

    SettingsInput empty;
    EXPECT_TRUE(ParsePreset("# only comments\n\n", "p", empty, error));
    EXPECT_TRUE(IsEmpty(empty));

    // The PIN to pair with is no setting: a preset of it alone programs nothing; an option wins.
    SettingsInput pairing;
    ASSERT_TRUE(ParsePreset("pair-pin = 1234\n", "p", pairing, error)) << error;
    EXPECT_EQ(pairing.pairPin, "1234");
    EXPECT_TRUE(IsEmpty(pairing));
    SettingsInput given;
    given.pairPin = "0000";
    EXPECT_EQ(Merge(pairing, given).pairPin, "0000");
    EXPECT_FALSE(ParsePreset("pair-pin=1\npair-pin=2\n", "p", pairing, error));
}

TEST(Preset, MalformedLinesAreRefusedWithTheirPlace) {
    for (const auto& [text, where] : std::vector<std::pair<std::string, std::string>>{
             {"name=A\npin 1234\n", "p:2:"}, {"colour=red\n", "p:1:"}, {"pin=1\n\npin=2\n", "p:3:"}}) {
        SettingsInput preset;
        std::string error;
        EXPECT_FALSE(ParsePreset(text, "p", preset, error)) << text;
        EXPECT_EQ(error.rfind(where, 0), 0u) << error;
    }
    SettingsInput preset;
    std::string error;
    EXPECT_FALSE(ReadPreset("/nonexistent/zk405.preset", preset, error));
    EXPECT_NE(error.find("/nonexistent/zk405.preset"), std::string::npos);
}

// A preset comes from a regular file or a pipe someone writes to, and is small; anything else is
// refused with the reason, at once (the FIFO and /dev/zero cases run as programs in CliProgramTest).
TEST(Preset, OnlyFilesAndWrittenPipesWithinTheLimitAreRead) {
    TempDir dir;
    SettingsInput preset;
    std::string error;
    EXPECT_FALSE(ReadPreset(dir.Path(), preset, error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;

    std::ofstream(dir.File("large.preset")) << "# " << std::string(kMaxPresetBytes, 'x') << "\npin=1\n";
    EXPECT_FALSE(ReadPreset(dir.File("large.preset"), preset, error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    EXPECT_FALSE(preset.pin);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const std::string text = "pin=2468\n";
    ASSERT_EQ(write(pipeFds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(pipeFds[1]);
    EXPECT_TRUE(ReadPreset("/dev/fd/" + std::to_string(pipeFds[0]), preset, error)) << error;
    EXPECT_EQ(preset.pin, "2468");
    close(pipeFds[0]);

    ASSERT_EQ(pipe(pipeFds), 0);
    close(pipeFds[1]); // a writer that said nothing
    EXPECT_FALSE(ReadPreset("/dev/fd/" + std::to_string(pipeFds[0]), preset, error));
    EXPECT_NE(error.find("nothing came"), std::string::npos) << error;
    close(pipeFds[0]);

    EXPECT_FALSE(ReadPreset("/dev/null", preset, error)); // a device, though it reads as empty
}

TEST(Settings, LimitsCountWindows1250CharactersAndBadValuesAreRefused) {
    std::string error;
    SettingsInput input;
    input.name = "Ż" + std::string(30, 'a'); // 32 bytes of UTF-8, 31 characters on the line
    input.pin = std::string(16, '9');
    MODULE_SETTINGS settings = Build(input, error);
    EXPECT_EQ(settings.name, "\xAF" + std::string(30, 'a')) << error;
    EXPECT_EQ(settings.setName, 1);
    EXPECT_EQ(settings.setFlow, 0);

    const std::vector<SettingsInput> refused = {
        {std::string(32, 'a'), {}, {}, {}}, {{}, std::string(17, '1'), {}, {}}, {"Drukarka 名", {}, {}, {}},
        {"a\r\nAT+BPIN=1", {}, {}, {}},     {{}, {}, "xon", {}},               {{}, {}, "", {}},
        {{}, {}, {}, "never"},
        // C1 controls: U+0081 would even reach the module as the byte the code page leaves undefined.
        {"a\u0081b", {}, {}, {}},           {{}, "\u009B1", {}, {}},           {"\u0085", {}, {}, {}},
    };
    for (const SettingsInput& bad : refused) {
        error.clear();
        EXPECT_EQ(Build(bad, error).name, "refused");
        EXPECT_FALSE(error.empty());
    }
}

TEST(Settings, FlowAndAuthenticationTakeTheWindowsValues) {
    std::string error;
    const MODULE_SETTINGS settings = Build({{}, {}, "XON/XOFF+RTS/CTS", "always"}, error);
    EXPECT_EQ(settings.setFlow, 1);
    EXPECT_EQ(settings.protocolLabel, "XON/XOFF+RTS/CTS");
    EXPECT_EQ(settings.setAuth, 1);
    EXPECT_EQ(settings.authChoice, 0);
    EXPECT_EQ(Build({{}, {}, {}, "remember"}, error).authChoice, 1);
    // As a person types them: any letter case, and "none" beside the window's "BRAK".
    EXPECT_EQ(Build({{}, {}, "xon/xoff+rts/cts", "Always"}, error).protocolLabel, "XON/XOFF+RTS/CTS");
    EXPECT_EQ(Build({{}, {}, "brak", {}}, error).protocolLabel, "BRAK");
    EXPECT_EQ(Build({{}, {}, "None", {}}, error).protocolLabel, "BRAK");
    EXPECT_EQ(Build({{}, {}, {}, "REMEMBER"}, error).authChoice, 1);
}

// What a slip of the keyboard would send to the module is refused before anything goes out: a
// placeholder the name does not know, an empty name or PIN not asked for. A PIN is never repeated.
TEST(Settings, SlipsAreRefusedAndThePinIsNeverRepeated) {
    std::string error;
    for (const char* name : {"Linia {x}", "Linia {N}", "{nr}-{n}", "{Port}"}) {
        error.clear();
        EXPECT_EQ(Build({name, {}, {}, {}}, error).name, "refused") << name;
        EXPECT_NE(error.find("only {n} and {port}"), std::string::npos) << error;
    }
    for (const char* name : {"Linia {n}", "{} {port}", "{ 1 }", "a{b", "}{"})
        EXPECT_NE(Build({name, {}, {}, {}}, error).name, "refused") << name << ": " << error;

    for (const SettingsInput& empty : {SettingsInput{"", {}, {}, {}}, SettingsInput{{}, "", {}, {}}}) {
        EXPECT_EQ(Build(empty, error).name, "refused");
        EXPECT_NE(error.find("empty"), std::string::npos) << error;
        SettingsInput asked = empty;
        asked.allowEmpty = true;
        EXPECT_NE(Build(asked, error).name, "refused") << error;
    }

    for (const char* pin : {"12345678901234567", "12名", "9\x1B" "9"}) {
        EXPECT_EQ(Build({{}, pin, {}, {}}, error).name, "refused");
        EXPECT_EQ(error.find(pin), std::string::npos) << error;
    }
}

TEST(Settings, PortAndPositionMakeNamesDistinctAndCountAfterExpansion) {
    EXPECT_EQ(ExpandName("Kaldor {port} nr {n}{n} {x}", "com12", 3), "Kaldor com12 nr 33 {x}");
    std::string error;
    SettingsInput input;
    input.name = std::string(26, 'a') + "{port}"; // 31 on com10, 32 on com100
    EXPECT_EQ(Build(input, error, "com10").name, std::string(26, 'a') + "com10");
    EXPECT_EQ(Build(input, error, "com100").name, "refused");
}

// Which line decides is the protocol's (ReplyFinalLine); here only how an answer without one counts.
TEST(Replies, AnAnswerWithoutAFinalLineIsUnconfirmedAndNothingIsSilence) {
    EXPECT_EQ(JudgeReply("AT+BPIN=1\r\nOK\r\n"), Outcome::Confirmed);
    EXPECT_EQ(JudgeReply("ERROR\r\n"), Outcome::Refused);
    EXPECT_EQ(JudgeReply("OK"), Outcome::Unconfirmed); // the line never ended
    EXPECT_EQ(JudgeReply("0"), Outcome::Silent);
}

TEST(LogNames, OnePortKeepsTheWindowsNameSeveralGetTheirOwn) {
    EXPECT_EQ(LogFileFor("com5", 1), "TxRx.log");
    EXPECT_EQ(LogFileFor("com5", 2), "TxRx-com5.log");
    EXPECT_EQ(LogFileFor("/dev/pts/3", 2), "TxRx-_dev_pts_3.log");
    EXPECT_EQ(LogFileFor("..", 2), "TxRx-...log");
    EXPECT_EQ(LogFilesFor({"com5"}), std::vector<std::string>{"TxRx.log"});
    EXPECT_EQ(LogFilesFor({"com5", "com6"}), (std::vector<std::string>{"TxRx-com5.log", "TxRx-com6.log"}));
}

// Names that map to one file (or differ only in case, one file on Windows) still get a log each, and
// a suffix never takes the name a later port has of its own.
TEST(LogNames, NamesThatMapToOneFileGetDistinctLogs) {
    EXPECT_EQ(LogFilesFor({"a b", "a_b", "a?b"}),
              (std::vector<std::string>{"TxRx-a_b.log", "TxRx-a_b-2.log", "TxRx-a_b-3.log"}));
    EXPECT_EQ(LogFilesFor({"a b", "a_b", "a_b-2"}),
              (std::vector<std::string>{"TxRx-a_b.log", "TxRx-a_b-3.log", "TxRx-a_b-2.log"}));
    EXPECT_EQ(LogFilesFor({"/dev/X", "/dev/x"}), (std::vector<std::string>{"TxRx-_dev_X.log", "TxRx-_dev_x-2.log"}));
}

} // namespace
