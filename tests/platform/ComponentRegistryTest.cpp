#include "platform/ComponentLoader.h"
#include "platform/ComponentRegistry.h"
#include "platform/SharedLibrary.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(ComponentRegistryTest, DefaultPathFollowsXdgConfigHome)
{
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(ComponentRegistry::DefaultPath(), "/somewhere/config/orvsip/components.ini");
    setenv("HOME", "/home/someone", 1);
    // A relative or empty value is ignored, as the XDG rules say.
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(ComponentRegistry::DefaultPath(), "/home/someone/.config/orvsip/components.ini");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(ComponentRegistry::DefaultPath(), "/home/someone/.config/orvsip/components.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ComponentRegistry::DefaultPath(), "/home/someone/.config/orvsip/components.ini");
}

TEST(ComponentRegistryTest, SavesCreatesFoldersAndReadsBackWithoutRegardToCase)
{
    TempDirectory folder;
    const std::string path = folder.File("a/b/components.ini");
    ComponentRegistry registry(path);
    ASSERT_TRUE(registry.Load());
    EXPECT_FALSE(registry.HasKey("CLSID\\{X}"));
    ASSERT_TRUE(registry.SetKey("CLSID\\{AB-CD}", {{"InprocServer32", "/lib/x.so"}, {"ProgID", "P.1"}}));
    ASSERT_TRUE(registry.SetKey("ProgID\\P.1", {{"CLSID", "{AB-CD}"}}));
    ASSERT_TRUE(registry.Save());

    ComponentRegistry reread(path);
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.Value("clsid\\{ab-cd}", "inprocserver32"), "/lib/x.so");
    EXPECT_EQ(reread.Value("CLSID\\{AB-CD}", "Missing"), "");
    EXPECT_EQ(reread.Value("Missing", "ProgID"), "");
    std::string classId, library;
    ASSERT_TRUE(ComponentLoader::Resolve(reread, "P.1", classId, library));
    EXPECT_EQ(classId, "{AB-CD}");
    EXPECT_EQ(library, "/lib/x.so");
    ASSERT_TRUE(ComponentLoader::Resolve(reread, "{ab-cd}", classId, library));
    EXPECT_EQ(library, "/lib/x.so");
    EXPECT_FALSE(ComponentLoader::Resolve(reread, "Q.1", classId, library));

    // Replacing keeps one key; removing takes it out of the file.
    ASSERT_TRUE(reread.SetKey("clsid\\{AB-CD}", {{"InprocServer32", "/lib/y.so"}}));
    EXPECT_TRUE(reread.RemoveKey("PROGID\\p.1"));
    EXPECT_FALSE(reread.RemoveKey("ProgID\\P.1"));
    ASSERT_TRUE(reread.Save());
    std::string text = ReadFile(path);
    EXPECT_EQ(text.find("ProgID\\"), std::string::npos);
    EXPECT_EQ(text.find("CLSID\\"), text.rfind("CLSID\\"));
    EXPECT_NE(text.find("InprocServer32=/lib/y.so"), std::string::npos);
}

TEST(ComponentRegistryTest, ForgedAndDamagedFiles)
{
    TempDirectory folder;
    const std::string path = folder.File("components.ini");
    using namespace std::string_literals;
    WriteFile(path, "garbage\n=value\n[]\n[ProgID\\P.1]\nCLSID={AB}\n\0binary\n[unclosed\nCLSID={EVIL}\n"
                                "[CLSID\\{AB}]\nInprocServer32 = /lib/x.so \n[progid\\p.1]\nclsid={AB2}\n"s);
    ComponentRegistry registry(path);
    ASSERT_TRUE(registry.Load());
    // A repeated key merges; a later value wins; blanks around values go.
    EXPECT_EQ(registry.Value("ProgID\\P.1", "CLSID"), "{AB2}");
    EXPECT_EQ(registry.Value("CLSID\\{AB}", "InprocServer32"), "/lib/x.so");

    // Values cannot smuggle keys in: line breaks are dropped, such key names refused.
    ASSERT_TRUE(registry.SetKey("CLSID\\{AB}", {{"InprocServer32", "/lib/x.so\n[ProgID\\Evil.1]\nCLSID={AB}"}}));
    EXPECT_FALSE(registry.SetKey("A]\n[ProgID\\Evil.1", {}));
    EXPECT_FALSE(registry.SetKey("", {}));
    ASSERT_TRUE(registry.Save());
    ComponentRegistry reread(path);
    ASSERT_TRUE(reread.Load());
    EXPECT_FALSE(reread.HasKey("ProgID\\Evil.1"));

    // Too large, or not a file: not read.
    WriteFile(path, std::string(ComponentRegistry::MaxFileSize + 1, 'x'));
    EXPECT_FALSE(ComponentRegistry(path).Load());
    EXPECT_FALSE(ComponentRegistry(folder.File("")).Load());
}

TEST(ComponentRegistryTest, AFailedSaveLeavesTheOldFileWhole)
{
    TempDirectory folder;
    WriteFile(folder.File("file"), "a file, not a folder");
    ComponentRegistry blocked(folder.File("file/orvsip/components.ini"));
    ASSERT_TRUE(blocked.SetKey("K", {{"V", "1"}}));
    EXPECT_FALSE(blocked.Save());
    EXPECT_EQ(ReadFile(folder.File("file")), "a file, not a folder");
    EXPECT_FALSE(blocked.Load());
}

TEST(ComponentLoaderTest, LoadsOnlyWhatTheRegistryNamesAndReportsWhy)
{
    TempDirectory folder;
    setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);
    void* object = nullptr;
    EXPECT_EQ(ComponentLoader::GetClassObject("P.1", "{IID}", nullptr), ComponentLoader::InvalidPointer);
    EXPECT_EQ(ComponentLoader::GetClassObject("P.1", "{IID}", &object), ComponentLoader::ClassNotRegistered);

    ComponentRegistry registry;
    WriteFile(folder.File("not-a-library.so"), "text");
    const std::string mathLibrary = SharedLibrary::PathOf(reinterpret_cast<const void*>(&cosf));
    ASSERT_FALSE(mathLibrary.empty());
    ASSERT_TRUE(registry.SetKey("ProgID\\Text.1", {{"CLSID", "{T}"}}));
    ASSERT_TRUE(registry.SetKey("CLSID\\{T}", {{"InprocServer32", folder.File("not-a-library.so")}}));
    ASSERT_TRUE(registry.SetKey("ProgID\\Math.1", {{"CLSID", "{M}"}}));
    ASSERT_TRUE(registry.SetKey("CLSID\\{M}", {{"InprocServer32", mathLibrary}}));
    ASSERT_TRUE(registry.SetKey("ProgID\\Bare.1", {{"CLSID", "{B}"}}));
    ASSERT_TRUE(registry.SetKey("CLSID\\{B}", {{"InprocServer32", "libm.so.6"}}));
    ASSERT_TRUE(registry.Save());

    EXPECT_EQ(ComponentLoader::GetClassObject("Text.1", "{IID}", &object), ComponentLoader::LibraryNotFound);
    EXPECT_EQ(ComponentLoader::GetClassObject("Math.1", "{IID}", &object), ComponentLoader::ErrorInLibrary);
    // A bare name would be looked up along the library path: refused.
    EXPECT_EQ(ComponentLoader::GetClassObject("Bare.1", "{IID}", &object), ComponentLoader::LibraryNotFound);
    EXPECT_EQ(object, nullptr);
}
