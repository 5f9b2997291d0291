#pragma once

#include "app/OutsideBrowser.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

#include <QTemporaryDir>

#include <string>
#include <utility>
#include <vector>

// Stands in for the person in front of the message boxes: records every box and answers it.
class TRecordingMessageBox : public IMessageBox
{
public:
    TMessageAnswer answer = TMessageAnswer::Ok;
    std::vector<TMessageRequest> shown;
    TMessageAnswer Show(const TMessageRequest& request) override
    {
        shown.push_back(request);
        return request.buttons == TMessageButtons::YesNo ? answer : TMessageAnswer::Ok;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& r : shown)
            texts.push_back(r.text);
        return texts;
    }
};

// Stands in for the desktop's browser, which cannot run here.
class TRecordingOutsideBrowser : public IOutsideBrowser
{
public:
    std::vector<std::pair<std::string, std::string>> opened;
    void Open(const std::string& browserCommand, const std::string& address) override
    {
        opened.emplace_back(browserCommand, address);
    }
};

// Stands in for the person choosing a file.
class TRecordingOpenDialog : public IOpenDialog
{
public:
    std::optional<std::string> answer;
    std::vector<TFileFilter> asked;
    std::optional<std::string> Execute(const TFileFilter& filter) override
    {
        asked.push_back(filter);
        return answer;
    }
};

// Stands in for the person choosing files and folders.
class TRecordingPathsDialog : public IPathsDialog
{
public:
    std::vector<std::string> answer;
    int asked = 0;
    std::vector<std::string> Execute(const std::string&) override
    {
        ++asked;
        return answer;
    }
};
