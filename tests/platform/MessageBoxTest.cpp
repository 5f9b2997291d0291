#include "platform/MessageBox.h"

#include "TestSupport.h"

#include <sstream>

namespace {

TEST(HeadlessMessageBox, WritesTitleAndTextAndAnswersTheDefault)
{
    std::ostringstream out;
    THeadlessMessageBox box(out, "Velmo 2");
    box.ShowMessage(J("プラグインフォルダを設定して下さい"));
    TMessageRequest question;
    question.kind = TMessageKind::Information;
    question.title = J("情報");
    question.text = J("Velmo version 2.0.0.10\r\n開発元サイトを開きますか？");
    question.buttons = TMessageButtons::YesNo;
    question.defaultAnswer = TMessageAnswer::No;
    EXPECT_EQ(box.Show(question), TMessageAnswer::No);
    TMessageRequest empty;
    empty.title = "T";
    EXPECT_EQ(box.Show(empty), TMessageAnswer::Ok);
    EXPECT_EQ(out.str(),
        "Velmo 2: プラグインフォルダを設定して下さい\n"
        "情報: Velmo version 2.0.0.10\n"
        "情報: 開発元サイトを開きますか？\n"
        "T:\n");
}

} // namespace
