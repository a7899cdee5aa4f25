#include <gtest/gtest.h>

#include "StartOpenings.h"

namespace {

struct PlanCase
{
    const char *what;
    QStringList listed;
    QStringList remembered;
    QStringList named;
    bool all;
    QStringList wanted;
    QStringList unknown;
};

std::string text(const QStringList &list)
{
    return ('[' + list.join(QStringLiteral(", ")) + ']').toStdString();
}

} // namespace

TEST(StartOpenings, PlanOpensRememberedFirstThenListedInFileOrder)
{
    const QStringList listed = {"A", "B", "C", "D", "E"};
    const PlanCase cases[] = {
        {"nothing asked, nothing opens", listed, {}, {}, false, {}, {}},
        {"an empty list opens nothing and knows nobody", {}, {}, {"A"}, false, {}, {"A"}},
        {"named ones open in file order, not in the order given",
         listed,
         {},
         {"D", "B", "E"},
         false,
         {"B", "D", "E"},
         {}},
        {"a name given twice opens once", listed, {}, {"B", "B", "D"}, false, {"B", "D"}, {}},
        {"unknown names are told once each, in the order given",
         listed,
         {},
         {"Ghost", "A", "Gate", "Ghost"},
         false,
         {"A"},
         {"Ghost", "Gate"}},
        {"names match exactly, letter case too", listed, {}, {"a", "B "}, false, {}, {"a", "B "}},
        {"remembered ones keep their old panel order, ahead of the named",
         listed,
         {"D", "A"},
         {"B"},
         false,
         {"D", "A", "B"},
         {}},
        {"a remembered camera that is also named keeps its remembered place",
         listed,
         {"D", "A"},
         {"D", "C"},
         false,
         {"D", "A", "C", "D"},
         {}},
        {"a remembered camera that left the list is told, not opened",
         listed,
         {"Gone", "C"},
         {},
         false,
         {"C"},
         {"Gone"}},
        {"remembered and named alike are told once",
         listed,
         {"Gone"},
         {"Gone"},
         false,
         {},
         {"Gone"}},
        {"all: every listed camera in file order", listed, {}, {}, true, listed, {}},
        {"all: the remembered still come first",
         listed,
         {"E", "B"},
         {},
         true,
         {"E", "B", "A", "B", "C", "D", "E"},
         {}},
        {"all: a named camera the list lacks is still told",
         listed,
         {},
         {"Ghost", "C"},
         true,
         listed,
         {"Ghost"}},
    };
    for (const PlanCase &c : cases) {
        SCOPED_TRACE(c.what);
        const StartOpenings plan = StartOpenings::plan(c.listed, c.remembered, c.named, c.all);
        // A name may come twice in wanted: the second opening finds it open,
        // so only the order of first appearances is what the panels show.
        QStringList firstAppearances;
        for (const QString &name : plan.wanted) {
            EXPECT_TRUE(c.listed.contains(name)) << name.toStdString() << " is not listed";
            if (!firstAppearances.contains(name))
                firstAppearances << name;
        }
        QStringList expectedFirst;
        for (const QString &name : c.wanted) {
            if (!expectedFirst.contains(name))
                expectedFirst << name;
        }
        EXPECT_EQ(text(firstAppearances), text(expectedFirst))
            << "all wanted: " << text(plan.wanted);
        EXPECT_EQ(text(plan.unknown), text(c.unknown));
    }
}

TEST(StartOpenings, ReportNamesTheUnknownThenTheLeftOut)
{
    EXPECT_TRUE(StartOpenings::report({}, {}, 24).isEmpty()) << "nothing to tell, nothing said";
    EXPECT_EQ(StartOpenings::report({"Ghost", "Gone"}, {}, 24),
              "Not in the camera list, so not opened: \"Ghost\", \"Gone\".");
    EXPECT_EQ(StartOpenings::report({}, {"Cam 24"}, 24),
              "All 24 panels are in use; 1 more camera did not open: \"Cam 24\".");
    EXPECT_EQ(StartOpenings::report({}, {"X", "Y", "Z"}, 4),
              "All 4 panels are in use; 3 more cameras did not open: \"X\", \"Y\", \"Z\".");
    // Both in one line, the unknown first, as a start-up script's log reads them.
    EXPECT_EQ(StartOpenings::report({"Ghost"}, {"Cam 25"}, 24),
              "Not in the camera list, so not opened: \"Ghost\". All 24 panels are in use; 1 "
              "more camera did not open: \"Cam 25\".");
}
