#include "platform/IniFile.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

unsigned ModeOf(const std::string& path)
{
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

int FilesIn(const std::string& folder)
{
    int count = 0;
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = readdir(dir))
        count += entry->d_name[0] == '.' ? 0 : 1;
    closedir(dir);
    return count;
}

} // namespace

TEST(IniFile, ReadsWhatItWroteComparingNamesWithoutCase)
{
    TempDirectory folder;
    IniFile ini(folder.File("TARN.INI"));
    EXPECT_EQ(ini.Read("SIP", "SIPLogin"), "") << "a missing file reads as empty";
    ASSERT_TRUE(ini.Write("SIP", "SIPLogin", "1001"));
    ASSERT_TRUE(ini.Write("sip", "SIPPROXY", "127.0.0.1:5070"));
    ASSERT_TRUE(ini.Write("AUDIO", "EchoCancel", "1"));
    EXPECT_EQ(ini.Read("Sip", "siplogin"), "1001");
    EXPECT_EQ(ini.Read("SIP", "SIPProxy"), "127.0.0.1:5070");
    EXPECT_EQ(ini.Read("audio", "ECHOCANCEL"), "1");
    EXPECT_EQ(ini.Read("AUDIO", "SIPLogin"), "") << "keys belong to their section";
    EXPECT_EQ(ini.Read("NONE", "x"), "");
    EXPECT_EQ(ReadText(ini.Path()), "[SIP]\nSIPLogin=1001\nSIPPROXY=127.0.0.1:5070\n\n[AUDIO]\nEchoCancel=1\n");

    ASSERT_TRUE(ini.Write("Sip", "siplogin", "2002"));
    EXPECT_EQ(ini.Read("SIP", "SIPLogin"), "2002") << "a write replaces the key whatever its case";
    EXPECT_EQ(ReadText(ini.Path()).find("1001"), std::string::npos);
}

TEST(IniFile, ValuesReadCutTo254AndWrittenAsOneLine)
{
    TempDirectory folder;
    IniFile ini(folder.File("OUTPUT.INI"));
    const std::string longValue = std::string(254, 'a') + "bcdef";
    ASSERT_TRUE(ini.Write("ACTION", "PARAMETER", longValue));
    EXPECT_EQ(ini.Read("ACTION", "PARAMETER"), std::string(254, 'a'));
    EXPECT_NE(ReadText(ini.Path()).find(longValue), std::string::npos) << "the file keeps the whole value";

    ASSERT_TRUE(ini.Write("ACTION", "MESSAGE", "first\r\nCOMMAND=Hangup\nthird"));
    EXPECT_EQ(ini.Read("ACTION", "MESSAGE"), "first  COMMAND=Hangup third");
    EXPECT_EQ(ini.Read("ACTION", "COMMAND"), "") << "a line break cannot smuggle a key in";

    ASSERT_TRUE(ini.Write("ACTION", "COMMAND", ""));
    EXPECT_EQ(ini.Read("ACTION", "COMMAND"), "");
    EXPECT_FALSE(ini.Write("ACTION", "A=B", "x")) << "a key holding '=' would read back as another key";
    EXPECT_FALSE(ini.Write("A]B", "KEY", "x"));
    EXPECT_FALSE(ini.Write("ACTION", "", "x"));
    EXPECT_FALSE(ini.Write("ACTION", ";KEY", "x"));
    EXPECT_FALSE(ini.Write("SEC\nTION", "KEY", "x"));
}

TEST(IniFile, KeepsOtherKeysSectionsAndCommentsOnWrite)
{
    TempDirectory folder;
    const std::string path = folder.File("TARN.INI");
    WriteText(path, "; written by hand\r\n[SIP]\r\nSIPLogin = 1001 \r\n; the proxy\r\nSIPProxy=\"10.0.0.5\"\r\n\r\n"
                    "[Other]\r\nKeep=me\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.Read("SIP", "SIPLogin"), "1001") << "blanks around keys and values are not part of them";
    EXPECT_EQ(ini.Read("SIP", "SIPProxy"), "10.0.0.5") << "surrounding quotes are not part of the value";
    EXPECT_EQ(ini.Read("SIP", "; the proxy"), "");

    ASSERT_TRUE(ini.Write({{"SIP", "SIPPass", "secret"}, {"SIP", "SIPLogin", "1002"}, {"NEW", "Key", "v"}}));
    EXPECT_EQ(ReadText(path), "; written by hand\r\n[SIP]\r\nSIPLogin=1002\n; the proxy\r\nSIPProxy=\"10.0.0.5\"\r\n"
                              "SIPPass=secret\n\r\n[Other]\r\nKeep=me\r\n\n[NEW]\nKey=v\n");
    EXPECT_EQ(ini.Read("Other", "Keep"), "me");
}

TEST(IniFile, BrokenFilesReadSafely)
{
    TempDirectory folder;
    const std::string path = folder.File("INPUT.INI");
    IniFile ini(path);

    WriteText(path, "COMMAND=Dial\nPARAMETER=2001");
    EXPECT_EQ(ini.Read("ACTION", "COMMAND"), "") << "keys outside any section belong to none";

    WriteText(path, "[ACTION]\nCOMMAND=Dial\nPARAMETER=2001");
    EXPECT_EQ(ini.Read("ACTION", "PARAMETER"), "2001") << "no final newline";

    WriteText(path, "[ACTION\nCOMMAND=Dial\n[\n=\n==\nPARAMETER\n]x[\n");
    EXPECT_EQ(ini.Read("ACTION", "COMMAND"), "Dial") << "an unclosed header still names its section";
    EXPECT_EQ(ini.Read("ACTION", "PARAMETER"), "");
    EXPECT_EQ(ini.Read("", ""), "");

    std::string binary(std::string("[ACTION]\nCOMMAND=Di\0al\n", 23));
    std::mt19937 random(7);
    for (int i = 0; i < 100000; ++i)
        binary.push_back(static_cast<char>(random() & 0xFF));
    WriteText(path, binary);
    EXPECT_EQ(ini.Read("ACTION", "COMMAND"), std::string("Di\0al", 5));
    EXPECT_LE(ini.Read("ACTION", "MESSAGE").size(), IniFile::kMaxValueLength);

    const std::string hugeLine = "[ACTION]\nMESSAGE=" + std::string(10 * 1024 * 1024, 'x') + "\nCOMMAND=Hold";
    WriteText(path, hugeLine);
    EXPECT_EQ(ini.Read("ACTION", "MESSAGE"), std::string(254, 'x'));
    EXPECT_EQ(ini.Read("ACTION", "COMMAND"), "Hold") << "the line after a 10 MB line is read";
    ASSERT_TRUE(ini.Write("ACTION", "COMMAND", "Answer"));
    EXPECT_EQ(ini.Read("ACTION", "COMMAND"), "Answer");
    EXPECT_EQ(ReadText(path).size(), hugeLine.size() + 3) << "the huge line is kept on rewrite";

    WriteText(path, std::string(IniFile::kMaxRewriteSize + 1, '\n'));
    EXPECT_FALSE(ini.Write("ACTION", "COMMAND", "Answer")) << "a file beyond the limit is not rewritten";
    EXPECT_EQ(ReadText(path).size(), IniFile::kMaxRewriteSize + 1);

    // Something other than a file in its place is neither read, nor waited for, nor replaced.
    const std::string directory = folder.File("TARN.INI");
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    EXPECT_EQ(IniFile(directory).Read("SIP", "SIPLogin"), "");
    EXPECT_FALSE(IniFile(directory).Write("SIP", "SIPLogin", "1001"));
    const std::string fifo = folder.File("OUTPUT.INI");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(IniFile(fifo).Read("ACTION", "COMMAND"), "");
    EXPECT_FALSE(IniFile(fifo).Write("ACTION", "COMMAND", "Dial"));
}

TEST(IniFile, EveryFileWrittenIsTheOwnersAloneAndLinksAreNeverFollowed)
{
    TempDirectory folder;
    IniFile secret(folder.File("TARN.INI"));
    ASSERT_TRUE(secret.Write("SIP", "SIPPass", "pw"));
    EXPECT_EQ(ModeOf(secret.Path()), 0600u);
    chmod(secret.Path().c_str(), 0644);
    ASSERT_TRUE(secret.Write("SIP", "SIPPass", "pw2"));
    EXPECT_EQ(ModeOf(secret.Path()), 0600u) << "every save puts the owner-only mode back";

    const std::string shared = folder.File("OUTPUT.INI");
    WriteText(shared, "[ACTION]\n");
    chmod(shared.c_str(), 0640);
    ASSERT_TRUE(IniFile(shared).Write("ACTION", "COMMAND", "STATUS"));
    EXPECT_EQ(ModeOf(shared), 0600u) << "no mode is copied from the file replaced";
    EXPECT_EQ(FilesIn(folder.File("")), 2) << "no temporary file is left behind";

    // A link in the file's place reads as no file; a write replaces the link, and the
    // file it named keeps its text and mode.
    const std::string target = folder.File("target");
    WriteText(target, "[SIP]\nSIPPass=theirs\n");
    chmod(target.c_str(), 0640);
    const std::string linked = folder.File("linked.ini");
    ASSERT_EQ(symlink(target.c_str(), linked.c_str()), 0);
    EXPECT_EQ(IniFile(linked).Read("SIP", "SIPPass"), "");
    ASSERT_TRUE(IniFile(linked).Write("SIP", "SIPLogin", "1001"));
    EXPECT_EQ(ReadText(linked), "[SIP]\nSIPLogin=1001\n");
    struct stat info {};
    ASSERT_EQ(lstat(linked.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(ModeOf(linked), 0600u);
    EXPECT_EQ(ReadText(target), "[SIP]\nSIPPass=theirs\n");
    EXPECT_EQ(ModeOf(target), 0640u);

    IniFile nowhere(folder.File("missing/TARN.INI"));
    EXPECT_FALSE(nowhere.Write("SIP", "SIPLogin", "1001"));
    EXPECT_EQ(nowhere.Read("SIP", "SIPLogin"), "");
}

TEST(IniFile, FindsKeysInTextAsReadFindsThemInFiles)
{
    const std::string text = "; note\r\n[other]\nCOMMAND=no\n[ Action ]\r\ncommand = Dial \r\nPARAMETER=\n"
                              "MESSAGE='quoted'\n" + std::string("LONG=") + std::string(9000, 'x') + "\n[ACTION]\nextra=1";
    EXPECT_EQ(IniFile::Find(text, "ACTION", "COMMAND"), std::optional<std::string>("Dial"));
    EXPECT_EQ(IniFile::Find(text, "action", "parameter"), std::optional<std::string>(""));
    EXPECT_EQ(IniFile::Find(text, "ACTION", "MESSAGE"), std::optional<std::string>("quoted"));
    EXPECT_EQ(IniFile::Find(text, "ACTION", "LONG"), std::optional<std::string>(std::string(254, 'x')));
    EXPECT_EQ(IniFile::Find(text, "ACTION", "extra"), std::optional<std::string>("1")) << "a last line without its end";
    EXPECT_EQ(IniFile::Find(text, "ACTION", "missing"), std::nullopt);
    EXPECT_EQ(IniFile::Find(text, "absent", "COMMAND"), std::nullopt);
    EXPECT_EQ(IniFile::Find("", "ACTION", "COMMAND"), std::nullopt);
    EXPECT_EQ(IniFile::Find(std::string("[ACTION]\nCOMMAND=a\0b\n", 20), "ACTION", "COMMAND"),
              std::optional<std::string>(std::string("a\0b", 3)));
}
