#pragma once

#include <QShortcut>
#include <QWidget>

#include <memory>

class QAbstractButton;
class QCheckBox;
class QDialogButtonBox;
class QListWidget;
class QListWidgetItem;
class QVBoxLayout;

// The window's child widgets; the window owns them as their parent.
struct SelectAssocForm
{
    QVBoxLayout *verticalLayout = nullptr; // banner, box, list and buttons, top to bottom
    QCheckBox *selectAll = nullptr;        // "Select all": checks or clears every item
    QListWidget *listWidget = nullptr;     // one checkable item per offered format
    QDialogButtonBox *buttonBox = nullptr; // Save and Cancel
};

// The window of the window mode: the banner, "Select all", the formats the
// viewer has registered with their current state, and Save and Cancel.
class SelectAssocWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SelectAssocWidget(QWidget *parent = nullptr);
    ~SelectAssocWidget() override;

private Q_SLOTS:
    void on_selectAll_stateChanged(int);
    void on_buttonBox_clicked(QAbstractButton *b);
    void checkItem(QListWidgetItem *item);

private:
    void setupForm();
    void showReadFailure();
    enum class Failed { Read, Save };
    static QString failureText(Failed what);

    // The child widgets, built in setupForm().
    std::unique_ptr<SelectAssocForm> form;
    // Set while the window itself sets "Select all", so that the box's own
    // signal does not rewrite every item.
    bool updatingSelectAll = false;
    // Escape closes the window without saving, wherever the focus is.
    QShortcut closeShortcut;
};
