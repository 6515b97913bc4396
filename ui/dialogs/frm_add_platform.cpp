#include "frm_add_platform.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace tremlo::ui {

std::optional<PlatformNames> askPlatformNames(QWidget* owner) {
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("frmAddPlatform"));
    dialog.setWindowTitle(
        QCoreApplication::translate("frmAddPlatform", "この設定を駅セットに追加"));
    auto* form = new QFormLayout(&dialog);
    QLineEdit* edits[3];
    const char* const captions[] = {QT_TRANSLATE_NOOP("frmAddPlatform", "路線(&L):"),
                                    QT_TRANSLATE_NOOP("frmAddPlatform", "駅(&S):"),
                                    QT_TRANSLATE_NOOP("frmAddPlatform", "ホーム(&P):")};
    const char* const names[] = {"txtLine", "txtStation", "txtPlatform"};
    for (int k = 0; k < 3; ++k) {
        edits[k] = new QLineEdit(&dialog);
        edits[k]->setObjectName(QString::fromLatin1(names[k]));
        form->addRow(QCoreApplication::translate("frmAddPlatform", captions[k]), edits[k]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    const auto text = [&](int k) { return edits[k]->text().trimmed(); };
    const auto allGiven = [&] {
        return !text(0).isEmpty() && !text(1).isEmpty() && !text(2).isEmpty();
    };
    ok->setEnabled(false);
    for (QLineEdit* edit : edits)
        QObject::connect(edit, &QLineEdit::textChanged, ok, [&] { ok->setEnabled(allGiven()); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted || !allGiven())
        return std::nullopt;
    return PlatformNames{text(0).toStdString(), text(1).toStdString(), text(2).toStdString()};
}

} // namespace tremlo::ui
