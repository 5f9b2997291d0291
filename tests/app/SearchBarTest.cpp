#include "app/SearchBar.h"

#include "QtTestSupport.h"
#include "app/CommandLine.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/QtText.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <string>
#include <vector>

// The field with the archive's count and the view standing in: what is counted and shown when.
class SearchBarTest : public QObject
{
    Q_OBJECT

    std::vector<std::string> counted_; // each query counted, described
    std::vector<std::string> shown_; // each query shown, described
    int64_t hits_ = 0;
    bool archiveFails_ = false;

    std::unique_ptr<TSearchBar> NewBar()
    {
        counted_.clear();
        shown_.clear();
        auto bar = std::make_unique<TSearchBar>(
            [this](const TQuery& query) {
                if (archiveFails_)
                    throw EVelmoError(Sjis("アーカイブを開けないので検索できません"));
                counted_.push_back(DescribeQuery(query));
                return hits_;
            },
            [this](const TQuery& query) { shown_.push_back(DescribeQuery(query)); });
        bar->show();
        return bar;
    }
    static QString Refusal(const char* typed)
    {
        try {
            ParseTypedQuery(typed);
        } catch (const EQueryError& e) {
            return ToQString(e.what());
        }
        return {};
    }

private slots:
    // One count once the typing pauses (not one a keystroke), of what was typed; its outcome
    // said plainly.
    void TypingIsCountedOnceItPauses()
    {
        const struct
        {
            const char* typed;
            int64_t hits;
            bool fails;
            QString said;
        } cases[] = {
            { "流れ星 ghost:さくら", 12, false, QStringLiteral("12 件") },
            { "流れ星", 0, false, QStringLiteral("見つかりませんでした") },
            { "流れ星", 3, true, QStringLiteral("アーカイブを開けないので検索できません") },
        };
        for (const auto& c : cases) {
            hits_ = c.hits;
            archiveFails_ = c.fails;
            auto bar = NewBar();
            for (const QChar ch : QString::fromUtf8(c.typed))
                TypeCommitted(bar->Field(), QString(ch));
            QVERIFY(counted_.empty());
            QTRY_COMPARE(bar->Note(), c.said);
            QCOMPARE(counted_.size(), size_t(c.fails ? 0 : 1));
            if (!c.fails)
                QCOMPARE(counted_[0], Sjis(c.typed));
            QVERIFY(shown_.empty());
        }
        archiveFails_ = false;
    }

    // A query that cannot be read says why, counts nothing and shows nothing; a blank field asks
    // nothing at all.
    void UnreadableOrBlankQueriesRunNothing()
    {
        auto bar = NewBar();
        for (const char* typed : { "(流れ星", "after:2004/13/01", "流れ星 😀" }) {
            bar->Field()->clear();
            TypeCommitted(bar->Field(), QString::fromUtf8(typed));
            QTRY_COMPARE(bar->Note(), Refusal(typed));
            QVERIFY(!bar->Note().isEmpty());
            QTest::keyClick(bar->Field(), Qt::Key_Return);
            QCOMPARE(bar->Note(), Refusal(typed));
        }
        bar->Field()->clear();
        TypeCommitted(bar->Field(), QStringLiteral("  　"));
        QTest::keyClick(bar->Field(), Qt::Key_Return);
        QVERIFY(bar->Note().isEmpty());
        QVERIFY(counted_.empty());
        QVERIFY(shown_.empty());
    }

    // Enter shows the query at once; Esc empties the field and what is said beside it.
    void EnterShowsAndEscClears()
    {
        hits_ = 4;
        auto bar = NewBar();
        TypeCommitted(bar->Field(), QStringLiteral("流れ星 | 彗星"));
        QTest::keyClick(bar->Field(), Qt::Key_Return);
        QCOMPARE(shown_, std::vector<std::string> { Sjis("流れ星 | 彗星") });
        bar->SayHits(4);
        QCOMPARE(bar->Note(), QStringLiteral("4 件"));
        QTest::keyClick(bar->Field(), Qt::Key_Escape);
        QVERIFY(bar->Field()->text().isEmpty());
        QVERIFY(bar->Note().isEmpty());
        // The count of what Enter showed is not asked.
        QVERIFY(!bar->findChild<QTimer*>()->isActive());
    }
};

int RunSearchBarTest(int argc, char** argv)
{
    SearchBarTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SearchBarTest.moc"
