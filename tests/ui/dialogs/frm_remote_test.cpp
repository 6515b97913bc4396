// The options dialog's リモート操作 tab: what it shows comes from [Remote],
// OK hands the chosen values on once and Cancel nothing, and LAN access is
// never shown or handed on without a token.

#include "options_rig.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

namespace tremlo::test {
namespace {

class RemoteTabTest : public OptionsTest {
protected:
    std::unique_ptr<ui::frmOptions> openWithRemote() {
        ui::OptionsParts withRemote = parts();
        withRemote.remote = &remote;
        auto dialog = std::make_unique<ui::frmOptions>(withRemote);
        tab = dialog->TabStrip1()->widget(dialog->TabStrip1()->count() - 1);
        return dialog;
    }
    template <typename T> T* find(const char* name) const {
        return tab->findChild<T*>(QString::fromLatin1(name));
    }

    RemoteSettings stored{true, 9100, false, 8500, false, ""};
    std::vector<RemoteSettings> applied;
    int tokensMade = 0;
    ui::RemotePageParts remote{
        [this] { return stored; },
        [this](const RemoteSettings& chosen) {
            applied.push_back(chosen);
            return std::vector<std::string>{};
        },
        [this] { return "token" + std::to_string(++tokensMade) + std::string(17, 'x'); },
        [](const RemoteSettings& chosen) {
            return QStringLiteral("http://192.0.2.1:%1/?token=%2")
                .arg(chosen.WebPort)
                .arg(QString::fromStdString(chosen.Token));
        }};
    QWidget* tab = nullptr;
};

TEST_F(RemoteTabTest, OkHandsOnWhatTheTabShowsAndLanAccessComesWithAToken) {
    auto dialog = openWithRemote();
    EXPECT_TRUE(find<QCheckBox>("chkOsc")->isChecked());
    EXPECT_EQ(find<QSpinBox>("txtOscPort")->value(), 9100);
    EXPECT_EQ(find<QSpinBox>("txtWebPort")->value(), 8500);
    EXPECT_TRUE(find<QLabel>("imgQr")->pixmap().isNull()) << "a code without the page";

    find<QCheckBox>("chkWeb")->setChecked(true);
    find<QCheckBox>("chkLan")->setChecked(true);
    EXPECT_EQ(find<QLineEdit>("txtToken")->text().toStdString(), "token1xxxxxxxxxxxxxxxxx");
    EXPECT_EQ(find<QLabel>("lblAddress")->text(),
              "http://192.0.2.1:8500/?token=token1xxxxxxxxxxxxxxxxx");
    EXPECT_FALSE(find<QLabel>("imgQr")->pixmap().isNull());
    find<QPushButton>("cmdNewToken")->click();
    find<QSpinBox>("txtWebPort")->setValue(8600);
    EXPECT_TRUE(applied.empty()) << "nothing before OK";

    dialog->cmdOK()->click();
    ASSERT_EQ(applied.size(), 1U);
    EXPECT_EQ(applied[0],
              (RemoteSettings{true, 9100, true, 8600, true, "token2xxxxxxxxxxxxxxxxx"}));

    // Cancel hands nothing on, whatever was changed.
    auto cancelled = openWithRemote();
    find<QCheckBox>("chkOsc")->setChecked(false);
    cancelled->cmdCancel()->click();
    EXPECT_EQ(applied.size(), 1U);
}

} // namespace
} // namespace tremlo::test
