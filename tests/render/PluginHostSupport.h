#pragma once

#include "TestSupport.h"
#include "platform/FileIO.h"
#include "platform/MessageBox.h"
#include "platform/StrUtils.h"
#include "render/SppList.h"

#include <cstdlib>

// Records the progress window's lines instead of showing a window.
class TRecordingProgress : public IProgressWindowFactory
{
public:
    std::vector<std::string> lines;
    int shown = 0;
    int open = 0;
    std::unique_ptr<IProgressWindow> Show() override
    {
        ++shown;
        ++open;
        class Window : public IProgressWindow
        {
        public:
            explicit Window(TRecordingProgress& owner)
                : owner_(owner)
            { }
            ~Window() override { --owner_.open; }
            void SetContent(const std::string& text) override { owner_.lines.push_back(text); }

        private:
            TRecordingProgress& owner_;
        };
        return std::make_unique<Window>(*this);
    }
};

class TRecordingBox : public IMessageBox
{
public:
    std::vector<std::string> texts;
    TMessageAnswer Show(const TMessageRequest& r) override
    {
        texts.push_back(r.text);
        return r.defaultAnswer;
    }
};

// A plug-in folder of real shared objects copied under chosen names (which set the load order),
// and the log the test plug-ins write their calls to.
class PluginHostTest : public testing::Test
{
protected:
    TempDir dir;
    TRecordingBox box;
    TRecordingProgress progress;
    TSppList list { true, box, progress };

    void SetUp() override { ::setenv("VELMO_TEST_PLUGIN_LOG", NativePath(LogPath()).c_str(), 1); }
    void TearDown() override { ::unsetenv("VELMO_TEST_PLUGIN_LOG"); }

    std::string Folder() const { return dir.Sjis() + "plugins"; }
    std::string LogPath() const { return dir.Sjis() + "calls.log"; }

    void Install(const std::string& built, const std::string& as)
    {
        std::filesystem::create_directories(NativePath(Folder()));
        std::filesystem::copy_file(std::string(VELMO_TEST_PLUGIN_DIR "/") + built + ".so",
            NativePath(Folder() + "/" + as));
    }
    std::vector<std::string> Calls() const
    {
        return FileExists(LogPath()) ? SplitLines(ReadFileBytes(LogPath()))
                                     : std::vector<std::string> {};
    }
    size_t CallCount(const std::string& prefix) const
    {
        size_t n = 0;
        for (const auto& line : Calls())
            n += line.starts_with(prefix);
        return n;
    }
};
