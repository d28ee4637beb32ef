#include "selectassocwidget.h"

#include "formatlist.h"
#include "headerwidget.h"
#include "identity.h"
#include "registryfailure.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

SelectAssocWidget::SelectAssocWidget(QWidget *parent)
    : QWidget(parent), form(std::make_unique<SelectAssocForm>()),
      closeShortcut(QKeySequence(Qt::Key_Escape), this)
{
    QIcon icon;
    // No suffix: the image reader finds set16.png and set32.png by itself.
    icon.addFile(QStringLiteral(":/set16"), QSize(16, 16), QIcon::Normal, QIcon::Off);
    icon.addFile(QStringLiteral(":/set32"), QSize(32, 32), QIcon::Normal, QIcon::Off);
    setWindowIcon(icon);

    setupForm();
    setWindowTitle(productName + tr(" file type selector"));

    auto *header = new HeaderWidget(this);
    header->setText(tr("<b>FILE ASSOCIATIONS</b><br>Select which file types are opened with <b>") +
                    productName + tr("</b> by default."));
    form->verticalLayout->insertWidget(0, header, 0, Qt::Alignment());

    connect(form->listWidget, SIGNAL(itemClicked(QListWidgetItem *)), this,
            SLOT(checkItem(QListWidgetItem *)));
    connect(form->listWidget, SIGNAL(itemActivated(QListWidgetItem *)), this,
            SLOT(checkItem(QListWidgetItem *)));
    connect(&closeShortcut, SIGNAL(activated()), this, SLOT(close()));

    form->listWidget->setFocus(Qt::OtherFocusReason);

    SelectionList selection;
    bool allAssociated = false;
    if (!readFormatList(form->listWidget, &selection, &allAssociated)) {
        showReadFailure();
        return;
    }
    updatingSelectAll = true;
    form->selectAll->setCheckState(allAssociated ? Qt::Checked : Qt::Unchecked);
    updatingSelectAll = false;
}

// A list read in part would show formats as not associated that are, and
// Save would write that back: the window says why it has no list instead,
// and offers nothing to save.
void SelectAssocWidget::showReadFailure()
{
    auto *why = new QLabel(failureText(Failed::Read), this);
    why->setObjectName(QStringLiteral("readFailure"));
    why->setWordWrap(true);
    form->verticalLayout->insertWidget(form->verticalLayout->indexOf(form->listWidget), why, 0,
                                       Qt::Alignment());
    form->selectAll->setEnabled(false);
    form->listWidget->setEnabled(false);
    form->buttonBox->button(QDialogButtonBox::Save)->setEnabled(false);
}

// The record first, then the shortcut, then the QWidget base with the
// widgets it owns: members would otherwise go in the reverse order.
SelectAssocWidget::~SelectAssocWidget()
{
    form.reset();
}

void SelectAssocWidget::setupForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("Widget"));
    resize(400, 364);

    form->verticalLayout = new QVBoxLayout(this);
    form->verticalLayout->setSpacing(6);
    form->verticalLayout->setContentsMargins(11, 11, 11, 11);
    form->verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    // A negative bottom margin leaves the style's default there.
    form->verticalLayout->setContentsMargins(15, 0, 15, -1);

    form->selectAll = new QCheckBox(this);
    form->selectAll->setObjectName(QStringLiteral("selectAll"));
    form->verticalLayout->addWidget(form->selectAll, 0, Qt::Alignment());

    QListWidget *list = form->listWidget = new QListWidget(this);
    list->setObjectName(QStringLiteral("listWidget"));
    list->setAlternatingRowColors(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectItems);
    list->setTextElideMode(Qt::ElideNone);
    list->setProperty("isWrapping", QVariant(true));
    list->setViewMode(QListView::ListMode);
    list->setUniformItemSizes(false);
    list->setWordWrap(true);
    list->setSelectionRectVisible(false);
    // On before filling, so that every item lands at its sorted place.
    list->setSortingEnabled(true);
    form->verticalLayout->addWidget(list, 0, Qt::Alignment());

    form->buttonBox = new QDialogButtonBox(this);
    form->buttonBox->setObjectName(QStringLiteral("buttonBox"));
    form->buttonBox->setStandardButtons(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    form->verticalLayout->addWidget(form->buttonBox, 0, Qt::Alignment());

    setWindowTitle(QCoreApplication::translate("Widget", "Widget"));
    form->selectAll->setText(QCoreApplication::translate("Widget", "Select all"));

    QMetaObject::connectSlotsByName(this);
}

void SelectAssocWidget::on_selectAll_stateChanged(int)
{
    if (updatingSelectAll)
        return;
    const Qt::CheckState state = form->selectAll->isChecked() ? Qt::Checked : Qt::Unchecked;
    for (int row = 0; row < form->listWidget->count(); ++row)
        form->listWidget->item(row)->setData(Qt::CheckStateRole, int(state));
}

void SelectAssocWidget::checkItem(QListWidgetItem *item)
{
    // A style that activates items on a single click makes one click emit
    // itemClicked and then itemActivated; toggling on both would undo the
    // click. The activation then toggles alone, as it does for Enter.
    static const int clickedSignal =
        QMetaMethod::fromSignal(&QListWidget::itemClicked).methodIndex();
    QListWidget *list = form->listWidget;
    if (senderSignalIndex() == clickedSignal &&
        list->style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr, list))
        return;

    const bool wasChecked = item->data(Qt::CheckStateRole).toInt() == Qt::Checked;
    item->setData(Qt::CheckStateRole, int(wasChecked ? Qt::Unchecked : Qt::Checked));

    Qt::CheckState all = Qt::Checked;
    for (int row = 0; row < form->listWidget->count(); ++row) {
        if (form->listWidget->item(row)->data(Qt::CheckStateRole).toInt() != Qt::Checked) {
            all = Qt::Unchecked;
            break;
        }
    }
    updatingSelectAll = true;
    form->selectAll->setCheckState(all);
    updatingSelectAll = false;
}

void SelectAssocWidget::on_buttonBox_clicked(QAbstractButton *b)
{
    switch (form->buttonBox->standardButton(b)) {
    case QDialogButtonBox::Save:
        if (!applyFormatList(form->listWidget)) {
            // Staying open keeps the user's choice, which is nowhere else.
            QMessageBox::warning(this, tr("File associations"), failureText(Failed::Save));
            return;
        }
        close();
        break;
    case QDialogButtonBox::Cancel:
        close();
        break;
    default:
        break;
    }
}

// Why the registry could not be read or written, where it says, in words
// the user can act on: reading leaves no list to show, writing keeps the
// choice in the window.
QString SelectAssocWidget::failureText(Failed what)
{
    const bool saving = what == Failed::Save;
    const RegistryFailure why = whyRegistryFailed();
    switch (why.kind) {
    case RegistryFailureKind::Busy:
        return saving ? tr("Your choice of file types could not be saved: another program is "
                           "using the registry. Save again when it is done.")
                      : tr("The file types cannot be shown: another program is using the "
                           "registry. Close this window and open it again when that program is "
                           "done.");
    case RegistryFailureKind::Damaged:
        return (saving ? tr("Your choice of file types could not be saved: the registry file %1 "
                            "is damaged, and nothing more is written to it. Repair or replace "
                            "it, then save again.")
                       : tr("The file types cannot be shown: the registry file %1 is damaged."))
            .arg(why.file);
    case RegistryFailureKind::DiskFull:
        if (saving)
            return tr("Your choice of file types could not be saved: the disk is full. Make "
                      "room on it and save again.");
        break;
    case RegistryFailureKind::ReadOnly:
        if (saving)
            return tr("Your choice of file types could not be saved: the registry file %1 is "
                      "read-only. Make it writable and save again.")
                .arg(why.file);
        break;
    case RegistryFailureKind::Unsafe:
        // A file with a second name is read, but not written, so only a
        // save meets it.
        return (saving ? tr("Your choice of file types could not be saved: the registry file %1 "
                            "is not safe to write, as other users could change it or it has a "
                            "second name. Make it and its folder yours alone, with one name, "
                            "then save again.")
                       : tr("The file types cannot be shown: the registry file %1 is not used, "
                            "as other users could change it."))
            .arg(why.file);
    case RegistryFailureKind::Unknown:
        break;
    }
    return saving ? tr("Your choice of file types could not be saved.")
                  : tr("The file types cannot be shown: the registry cannot be read.");
}
