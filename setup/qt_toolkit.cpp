#include "qt_toolkit.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "entry_text.h"
#include "rule_list_file.h"
#include "stretch_layout.h"

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr double kDesignDpi = 96.0;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

// The system's texts break lines with a lone carriage return.
QString ScreenText(const std::string& text) {
    QString shown = FromUtf8(text);
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

// Typing selects the first entry that begins with everything typed within the
// platform's key interval. Qt's own search starts at the current entry and would
// stay on a later one that also matches.
class TypeAheadList : public QListWidget {
public:
    using QListWidget::QListWidget;
    void keyboardSearch(const QString& search) override {
        if (!typedAt_.isValid() || typedAt_.elapsed() > QApplication::keyboardInputInterval()) typed_.clear();
        typedAt_.start();
        typed_ += search;
        for (int row = 0; row < count(); ++row) {
            if (item(row)->text().startsWith(typed_, Qt::CaseInsensitive)) {
                setCurrentRow(row);
                return;
            }
        }
    }

private:
    QString typed_;
    QElapsedTimer typedAt_;
};

class QtListBox : public ListBox {
public:
    explicit QtListBox(QListWidget* widget) : widget_(widget) {
        widget_->setSelectionMode(QAbstractItemView::SingleSelection);
        // Only the user's selections reach the handler: the window's own changes
        // are made with the widget's signals blocked.
        QObject::connect(widget_, &QListWidget::itemSelectionChanged, widget_, [this] {
            if (click_) click_();
        });
    }
    void Clear() override {
        QSignalBlocker quiet(widget_);
        widget_->clear();
    }
    bool AddItem(const std::string& text) override {
        if (widget_->count() >= kListBoxCapacity) return false;
        int position = SortedPosition(
            widget_->count(), [this](int i) { return ToUtf8(widget_->item(i)->text()); }, text);
        QSignalBlocker quiet(widget_);
        widget_->insertItem(position, FromUtf8(text));
        return true;
    }
    int16_t ListCount() const override { return static_cast<int16_t>(widget_->count()); }
    std::string List(int16_t position) const override {
        QListWidgetItem* item = widget_->item(position);
        return item ? ToUtf8(item->text()) : std::string();
    }
    void SetList(int16_t position, const std::string& text) override {
        if (QListWidgetItem* item = widget_->item(position)) item->setText(FromUtf8(text));
    }
    void RemoveItem(int16_t position) override {
        QSignalBlocker quiet(widget_);
        delete widget_->takeItem(position);
    }
    int16_t ListIndex() const override {
        QList<QListWidgetItem*> selected = widget_->selectedItems();
        return selected.isEmpty() ? -1 : static_cast<int16_t>(widget_->row(selected.first()));
    }
    int16_t SelCount() const override { return widget_->selectedItems().isEmpty() ? 0 : 1; }
    void SetListIndex(int16_t position) override {
        QSignalBlocker quiet(widget_);
        if (position < 0 || position >= widget_->count()) {
            widget_->clearSelection();
            return;
        }
        widget_->setCurrentRow(position, QItemSelectionModel::ClearAndSelect);
    }
    bool Enabled() const override { return widget_->isEnabled(); }
    void SetEnabled(bool enabled) override { widget_->setEnabled(enabled); }
    void OnClick(std::function<void()> handler) override { click_ = std::move(handler); }

    QListWidget* widget() const { return widget_; }

private:
    QPointer<QListWidget> widget_;
    std::function<void()> click_;
};

class QtButton : public Button {
    // Qt hands the focus of a control being disabled on to the next enabled one,
    // which may be Delete All: a second key press would empty the list. The
    // focus goes back to the nearest enabled list instead.
    void FocusNearestList() {
        for (QWidget* back = widget_->previousInFocusChain(); back && back != widget_;
             back = back->previousInFocusChain()) {
            if (qobject_cast<QListWidget*>(back) && back->isEnabled()) {
                back->setFocus(Qt::OtherFocusReason);
                return;
            }
        }
        widget_->window()->setFocus(Qt::OtherFocusReason);
    }

public:
    explicit QtButton(QPushButton* widget) : widget_(widget) {
        QObject::connect(widget_, &QPushButton::clicked, widget_, [this] {
            if (click_) click_();
        });
    }
    std::string Caption() const override { return ToUtf8(widget_->text()); }
    void SetCaption(const std::string& caption) override { widget_->setText(FromUtf8(caption)); }
    bool Enabled() const override { return widget_->isEnabled(); }
    void SetEnabled(bool enabled) override {
        if (!enabled && widget_->hasFocus()) FocusNearestList();
        widget_->setEnabled(enabled);
    }
    void OnClick(std::function<void()> handler) override { click_ = std::move(handler); }

    QPushButton* widget() const { return widget_; }

private:
    QPointer<QPushButton> widget_;
    std::function<void()> click_;
};

// A label that reports a press of the left mouse button.
class ClickableLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> clicked;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && clicked) clicked();
        QLabel::mouseReleaseEvent(event);
    }
};

class QtLabel : public Label {
public:
    explicit QtLabel(ClickableLabel* widget) : widget_(widget) {}
    std::string Caption() const override {
        QString text = widget_->text();
        return ToUtf8(text.replace(QLatin1Char('\n'), QLatin1Char('\r')));
    }
    void SetCaption(const std::string& caption) override { widget_->setText(ScreenText(caption)); }
    void OnClick(std::function<void()> handler) override { widget_->clicked = std::move(handler); }

    QLabel* widget() const { return widget_; }

private:
    QPointer<ClickableLabel> widget_;
};

// "Description | pattern" pairs as the platform's dialogs take them, in Qt's form.
QString QtFilter(const std::string& filter) {
    QStringList parts = FromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed();
        filters << (description.contains(pattern) ? description : description + " (" + pattern + ")");
    }
    return filters.join(";;");
}

// Tells a file's type by its name alone: telling it by content would open every
// file listed, the registry's own among them.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override {
        return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override {
        if (!info.isFile()) return QAbstractFileIconProvider::type(info);
        QMimeType mime = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }
};

// Leaves the registry's own files out of the listing.
class HideRegistryFiles : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        return !files || !IsRegistryFile(ToUtf8(files->filePath(files->index(row, 0, parent))));
    }
};

// An open dialog that also takes a name that does not exist yet, asks nothing
// before a file is replaced, and refuses the registry's own files, listed or typed.
class ListFileDialog : public QFileDialog {
public:
    ListFileDialog(QWidget* owner, const QString& title) : QFileDialog(owner, title) {
        setOption(QFileDialog::DontUseNativeDialog);  // a native one takes no proxy model
        // A thread of the dialog's file model asks the provider until the model is
        // deleted, after this class's members: one provider, for every dialog.
        static NameOnlyIconProvider icons;
        setIconProvider(&icons);
        setProxyModel(new HideRegistryFiles(this));
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::AnyFile);
    }
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && IsRegistryFile(ToUtf8(chosen.first()))) {
            QMessageBox::warning(this, windowTitle(),
                                 chosen.first() + " is the registry's own file.\nChoose another file.");
            return;
        }
        QFileDialog::accept();
    }
};

class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* owner) : owner_(owner) {}
    void SetFilter(const std::string& filter) override { filter_ = filter; }
    void SetDialogTitle(const std::string& title) override { title_ = title; }
    void ShowOpen() override {
        ListFileDialog dialog(owner_, FromUtf8(title_));
        dialog.setNameFilter(QtFilter(filter_));
        fileName_.clear();
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            fileName_ = ToUtf8(dialog.selectedFiles().first());
    }
    std::string FileName() const override { return fileName_; }

private:
    QPointer<QWidget> owner_;
    std::string filter_;
    std::string title_;
    std::string fileName_;
};

// Lays the window out again whenever it is resized.
class ResizeWatcher : public QObject {
public:
    ResizeWatcher(QWidget* window, std::function<void()> resized) : QObject(window), resized_(std::move(resized)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) resized_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> resized_;
};

}  // namespace

QtToolkit::QtToolkit() : window_(std::make_unique<QWidget>()) {
    new ResizeWatcher(window_.get(), [this] { ApplyLayout(); });
}

QtToolkit::~QtToolkit() = default;

void QtToolkit::Place(QWidget* widget, const TwipRect& rect, bool fitsText) {
    placed_.push_back({widget, rect, fitsText});
    ApplyLayout();
}

std::unique_ptr<ListBox> QtToolkit::CreateListBox(const TwipRect& rect) {
    auto* widget = new TypeAheadList(window_.get());
    Place(widget, rect, false);
    lastList_ = widget;
    return std::make_unique<QtListBox>(widget);
}

std::unique_ptr<Button> QtToolkit::CreateButton(const TwipRect& rect, const std::string& caption) {
    auto* widget = new QPushButton(FromUtf8(caption), window_.get());
    widget->setAutoDefault(false);
    Place(widget, rect, true);
    // The Delete key in a list presses the Delete button beside it (a disabled
    // button ignores the click).
    if (caption == "Delete" && lastList_) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Delete), lastList_, nullptr, nullptr, Qt::WidgetShortcut);
        QObject::connect(shortcut, &QShortcut::activated, widget, &QPushButton::click);
    }
    return std::make_unique<QtButton>(widget);
}

std::unique_ptr<Label> QtToolkit::CreateLabel(const TwipRect& rect, const std::string& caption, LabelStyle style) {
    auto* widget = new ClickableLabel(window_.get());
    widget->setTextFormat(Qt::PlainText);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget->setText(ScreenText(caption));
    if (style == LabelStyle::Link) {
        QFont font = widget->font();
        font.setUnderline(true);
        widget->setFont(font);
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
        widget->setPalette(palette);
        widget->setCursor(Qt::PointingHandCursor);
    }
    Place(widget, rect, style == LabelStyle::Plain);
    return std::make_unique<QtLabel>(widget);
}

std::unique_ptr<FileDialog> QtToolkit::CreateFileDialog() { return std::make_unique<QtFileDialog>(window_.get()); }

void QtToolkit::SetClientSize(int widthTwips, int heightTwips) {
    clientWidth_ = widthTwips;
    clientHeight_ = heightTwips;
    ApplyLayout();
}

void QtToolkit::SetTitle(const std::string& title) { window_->setWindowTitle(FromUtf8(title)); }

void QtToolkit::Close() { window_->close(); }

// The arrangement was drawn at 96 dots per inch for a narrower font than most
// desktops use: grow it until every caption fits its control.
void QtToolkit::ChooseScale() {
    double scale = window_->logicalDpiX() / kDesignDpi / kTwipsPerPixel;
    for (const Placed& place : placed_) {
        if (!place.fitsText || place.rect.width <= 0) continue;
        QString text;
        int padding = 4;
        if (auto* label = qobject_cast<QLabel*>(place.widget)) {
            text = label->text();
        } else if (auto* button = qobject_cast<QPushButton*>(place.widget)) {
            text = button->text();
            padding = 12;
        }
        int needed = place.widget->fontMetrics().horizontalAdvance(text) + padding;
        scale = std::max(scale, needed / static_cast<double>(place.rect.width));
    }
    pixelsPerTwip_ = scale;
}

// The arrangement is the smallest size; a larger window gives its extra width and
// height to the list boxes, and what stands beside or below them moves along.
void QtToolkit::ApplyLayout() {
    auto px = [this](int twips) { return static_cast<int>(twips * pixelsPerTwip_ + 0.5); };
    int extraWidth = 0;
    int extraHeight = 0;
    if (clientWidth_ > 0) {
        window_->setMinimumSize(px(clientWidth_), px(clientHeight_));
        extraWidth = std::max(0, window_->width() - px(clientWidth_));
        extraHeight = std::max(0, window_->height() - px(clientHeight_));
    }
    std::vector<PlacedRect> rects;
    for (const Placed& place : placed_)
        rects.push_back({place.rect, qobject_cast<QListWidget*>(place.widget) != nullptr});
    std::vector<Stretch> stretches = StretchToFit(rects, extraWidth, extraHeight);
    for (size_t i = 0; i < placed_.size(); ++i) {
        const Placed& place = placed_[i];
        const Stretch& stretch = stretches[i];
        int width = px(place.rect.width) + stretch.wider;
        // A link label may run past its box into the free space beside it.
        if (!place.fitsText && qobject_cast<QLabel*>(place.widget))
            width = std::max(width, place.widget->sizeHint().width());
        int height = std::max(px(place.rect.height), place.widget->fontMetrics().height()) + stretch.taller;
        place.widget->setGeometry(px(place.rect.left) + stretch.right, px(place.rect.top) + stretch.down, width,
                                  height);
    }
}

void QtToolkit::Show() {
    ChooseScale();
    ApplyLayout();
    auto px = [this](int twips) { return static_cast<int>(twips * pixelsPerTwip_ + 0.5); };
    if (clientWidth_ > 0) window_->resize(px(clientWidth_), px(clientHeight_));
    window_->show();
}

MsgBoxResult QtToolkit::MsgBox(const std::string& prompt, unsigned style, const std::string& title) {
    QMessageBox box(window_.get());
    box.setWindowTitle(FromUtf8(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(ScreenText(prompt));
    if (style & vbExclamation)
        box.setIcon((style & vbExclamation) == vbExclamation ? QMessageBox::Warning : QMessageBox::Critical);
    else if (style & vbCritical) box.setIcon(QMessageBox::Critical);
    if ((style & 7u) != vbYesNo) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return vbOK;
    }
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton((style & vbDefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
}

std::string QtToolkit::InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) {
    QDialog dialog(window_.get());
    dialog.setWindowTitle(FromUtf8(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(ScreenText(prompt), &dialog);
    label->setTextFormat(Qt::PlainText);
    auto* edit = new QLineEdit(FromUtf8(defaultText), &dialog);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    edit->setFocus();
    if (rightArrowQueued_) {
        // The queued key press reaches the box once it is open: the caret moves
        // behind the default text and nothing stays selected.
        QTimer::singleShot(0, edit, [edit] {
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QApplication::sendEvent(edit, &right);
        });
        rightArrowQueued_ = false;
    }
    edit->deselect();
    edit->end(false);
    if (dialog.exec() != QDialog::Accepted) return {};
    return ToUtf8(edit->text());
}

void QtToolkit::OnReload(std::function<void()> handler) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F5), window_.get());
    QObject::connect(shortcut, &QShortcut::activated, window_.get(), std::move(handler));
}

void QtToolkit::ShellOpen(const std::string& address) { QDesktopServices::openUrl(QUrl(FromUtf8(address))); }

QWidget* QtWidgetOf(const ListBox& control) {
    auto* list = dynamic_cast<const QtListBox*>(&control);
    return list ? list->widget() : nullptr;
}

QWidget* QtWidgetOf(const Button& control) {
    auto* button = dynamic_cast<const QtButton*>(&control);
    return button ? button->widget() : nullptr;
}

QWidget* QtWidgetOf(const Label& control) {
    auto* label = dynamic_cast<const QtLabel*>(&control);
    return label ? label->widget() : nullptr;
}
