#include "app/languages/AddLanguageSheet.h"

#include "LanguagesFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

using namespace ambrel;

namespace {

class AddLanguageSheetTest : public ambrel::testing::LanguagesFixture {};

} // namespace

TEST_F(AddLanguageSheetTest, TheAddSheetAddsThePickOrTheFirstMatch) {
    SpeechOptions options;
    options.automaticLanguages = false;
    options.chosenLanguages = {"en-US"};
    model.load(options, catalog);
    {
        AddLanguageSheet sheet(model, nullptr);
        EXPECT_FALSE(sheet.target()); // nothing typed, nothing picked
        sheet.searchField().setText("span");
        EXPECT_EQ(sheet.target(), "es-ES");
        sheet.searchField().setText("nowhere");
        EXPECT_FALSE(sheet.target());
        sheet.searchField().setText("");
        EXPECT_FALSE(sheet.addButton().isEnabled());
        // Picked with the mouse, as people do.
        sheet.show();
        QListWidget& list = sheet.list();
        const QPointF at = list.visualItemRect(list.item(1)).center();
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, at, list.viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(list.viewport(), &click);
        }
        EXPECT_EQ(sheet.target(), "de-DE");
        EXPECT_TRUE(sheet.addButton().isEnabled());
        emit sheet.searchField().returnPressed();
    }
    EXPECT_EQ(model.chosen(), (Strings{"en-US", "de-DE"}));
}
