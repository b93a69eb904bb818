#include "qt/control_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "controls/button.h"
#include "controls/check_box.h"
#include "controls/combo_box.h"
#include "controls/option_group.h"
#include "controls/text_box.h"
#include "qt/qt_text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Hands each typed character to the combo box's key event, before the box
// takes it; a handler that sets the code to 0 swallows the key.
class KeyPressFilter : public QObject {
  public:
    KeyPressFilter(ComboBox& model, QObject* parent) : QObject(parent), m_model(model) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        auto* key = static_cast<QKeyEvent*>(event);
        int16_t code = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            code = 13;
        } else if (!key->text().isEmpty()) {
            code = static_cast<int16_t>(key->text().at(0).unicode());
        } else {
            return false;  // cursor and function keys carry no character
        }
        m_model.keyPress.fire(code);
        return code == 0;
    }

  private:
    ComboBox& m_model;
};

// A frame as the classic dialogs draw it: an etched line around the area
// with the caption set into its top edge. Its controls are its children, so
// disabling the frame disables them.
class FrameWidget : public QWidget {
  public:
    FrameWidget(const QString& caption, QWidget* parent) : QWidget(parent), m_caption(caption) {
        setFocusPolicy(Qt::NoFocus);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int line = metrics.height() / 2;
        const QRect box = rect().adjusted(0, line, -2, -2);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(box);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(box.translated(1, 1));
        if (m_caption.isEmpty()) {
            return;
        }
        const QRect text(7, 0, metrics.horizontalAdvance(m_caption) + 4, metrics.height());
        painter.fillRect(text, palette().color(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(text, Qt::AlignCenter, m_caption);
    }

  private:
    QString m_caption;
};

// Multi-line boxes hold CR LF line breaks; the widget shows plain line feeds.
QString displayed(const Text& text) {
    QString s = ToQString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QFont controlFont(const FontSpec& spec) {
    QFont font = DesktopFont(spec.family);
    font.setPointSizeF(spec.points);
    font.setWeight(static_cast<QFont::Weight>(spec.weight));
    return font;
}

QWidget* makeTextBox(TextBox& model, QWidget* parent, const bool& syncing) {
    if (model.spec().multiLine) {
        auto* edit = new QPlainTextEdit(parent);
        // Tab goes on to the next control, as in every other box of the window.
        edit->setTabChangesFocus(true);
        edit->setPlainText(displayed(model.text()));
        QObject::connect(edit, &QPlainTextEdit::textChanged, [&model, edit, &syncing] {
            if (!syncing) {
                model.setText(FromQString(edit->toPlainText()));
            }
        });
        return edit;
    }
    auto* edit = new QLineEdit(ToQString(model.text()), parent);
    {
        // A box disabled so the operator cannot edit or select it (the error
        // line) must still be read: keep its text in the normal colour.
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Disabled, QPalette::Text,
                         palette.color(QPalette::Active, QPalette::Text));
        edit->setPalette(palette);
    }
    QObject::connect(edit, &QLineEdit::textEdited,
                     [&model](const QString& text) { model.setText(FromQString(text)); });
    if (model.spec().background) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, SystemColourValue(*model.spec().background));
        edit->setPalette(palette);
    }
    return edit;
}

QWidget* makeComboBox(ComboBox& model, QWidget* parent, const bool& syncing) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    // The list holds only what the program puts there; Enter adds nothing.
    combo->setInsertPolicy(QComboBox::NoInsert);
    // What the operator types is sent exactly as typed: no completion from
    // the list, which would turn "*IDN?" into the entry "*idn?".
    combo->setCompleter(nullptr);
    QObject::connect(combo->lineEdit(), &QLineEdit::textEdited,
                     [&model](const QString& text) { model.setText(FromQString(text)); });
    QObject::connect(combo, &QComboBox::activated, [&model, &syncing](int index) {
        if (!syncing) {
            model.setListIndex(index);
        }
    });
    // The combo box keeps the keyboard focus and hands keys to its line edit
    // directly, past any filter there, so the keys are caught on the combo.
    combo->installEventFilter(new KeyPressFilter(model, combo));
    return combo;
}

QWidget* makeCheckBox(CheckBox& model, QWidget* parent) {
    auto* box = new QCheckBox(ToQString(model.caption()), parent);
    // The classic boxes sit their caption close to the square; with the
    // style's wider default gap "CR Terminator" loses its last letter.
    box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    box->setChecked(model.value() == 1);
    QObject::connect(box, &QCheckBox::clicked, [&model, box](bool checked) {
        model.setValue(checked ? 1 : 0);
        SyncControlWidget(model, box);  // the handler may have changed it again
    });
    return box;
}

// One option of a group. The model keeps the options exclusive; the widget
// only shows it. The arrow keys go to the previous or the next option of the
// group, round its ends, and select it as a click would, as option buttons
// do in the classic dialogs.
class OptionWidget : public QRadioButton {
  public:
    OptionWidget(OptionButton& model, QWidget* parent)
        : QRadioButton(ToQString(model.caption()), parent), m_model(model) {
        setAutoExclusive(false);
    }

  protected:
    // A click on the selected option leaves it selected.
    void nextCheckState() override { setChecked(true); }

    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        const int step = key == Qt::Key_Left || key == Qt::Key_Up      ? -1
                         : key == Qt::Key_Right || key == Qt::Key_Down ? 1
                                                                       : 0;
        if (step == 0) {
            QRadioButton::keyPressEvent(event);
            return;
        }
        std::vector<OptionWidget*> group;
        for (QObject* child : parentWidget()->children()) {
            auto* option = dynamic_cast<OptionWidget*>(child);
            if (option == this || (option != nullptr && option->m_model.name() == m_model.name() &&
                                   option->isEnabled() && option->isVisible())) {
                group.push_back(option);
            }
        }
        std::sort(group.begin(), group.end(), [](const OptionWidget* a, const OptionWidget* b) {
            return a->m_model.index() < b->m_model.index();
        });
        const auto at = std::find(group.begin(), group.end(), this) - group.begin();
        const auto count = static_cast<std::ptrdiff_t>(group.size());
        OptionWidget* next = group[static_cast<size_t>((at + step + count) % count)];
        next->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        next->click();
    }

  private:
    OptionButton& m_model;
};

QWidget* makeOption(OptionButton& model, QWidget* parent) {
    auto* option = new OptionWidget(model, parent);
    QObject::connect(option, &QRadioButton::clicked, [&model, option] {
        model.setValue(true);
        option->setChecked(model.value());
    });
    return option;
}

QWidget* makeLabel(Control& model, QWidget* parent) {
    auto* label = new QLabel(ToQString(model.caption()), parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (model.spec().font) {
        label->setFont(controlFont(*model.spec().font));
    }
    return label;
}

// A picture box: its bitmap stretched to fill the box. The stretched copy is
// made when the box is first drawn, for its size on the screen, and again
// only when that changes; the window then holds a few kilobytes of pixels
// instead of the bitmap twice over (a label stretching its own pixmap keeps
// the full pixmap and a full image copy of it).
class PictureWidget : public QLabel {
  public:
    // Not a label's own scaled contents: the copy is made at the box's size,
    // and the label would keep two more copies of it to stretch it again.
    PictureWidget(QString path, QWidget* parent) : QLabel(parent), m_path(std::move(path)) {}

  protected:
    void paintEvent(QPaintEvent* event) override {
        stretch();  // a new size, or a screen of other density
        QLabel::paintEvent(event);
    }

  private:
    void stretch() {
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = (QSizeF(size()) * ratio).toSize();
        if (pixels.isEmpty() || pixels == m_stretchedTo) {
            return;
        }
        m_stretchedTo = pixels;  // also when the bitmap cannot be read: try once
        const QImage bitmap = LoadBitmap(m_path);
        if (bitmap.isNull()) {
            return;
        }
        QPixmap stretched = QPixmap::fromImage(
            bitmap.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        stretched.setDevicePixelRatio(ratio);
        setPixmap(stretched);
    }

    QString m_path;
    QSize m_stretchedTo;
};

// A command button. Enter pushes the button that has the focus, as Space
// does; Qt leaves Enter to the default button of a dialog, and this window
// is none.
class CommandButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            QPushButton::keyPressEvent(event);
            return;
        }
        if (!event->isAutoRepeat()) {  // a held key pushes once
            click();
        }
    }
};

QWidget* makePicture(Control& model, QWidget* parent) {
    return new PictureWidget(QString::fromStdString(model.spec().image), parent);
}

}  // namespace

QWidget* CreateControlWidget(Control& control, QWidget* parent, const bool& syncing) {
    switch (control.kind()) {
        case ControlKind::Button: {
            auto& model = static_cast<Button&>(control);
            auto* button = new CommandButton(ToQString(model.caption()), parent);
            QObject::connect(button, &QPushButton::clicked, [&model] { model.press(); });
            return button;
        }
        case ControlKind::TextBox:
            return makeTextBox(static_cast<TextBox&>(control), parent, syncing);
        case ControlKind::ComboBox:
            return makeComboBox(static_cast<ComboBox&>(control), parent, syncing);
        case ControlKind::CheckBox:
            return makeCheckBox(static_cast<CheckBox&>(control), parent);
        case ControlKind::OptionButton:
            return makeOption(static_cast<OptionButton&>(control), parent);
        case ControlKind::Label:
            return makeLabel(control, parent);
        case ControlKind::Frame:
            return new FrameWidget(ToQString(control.caption()), parent);
        case ControlKind::Picture:
            return makePicture(control, parent);
        default:
            return nullptr;
    }
}

void SyncControlWidget(Control& control, QWidget* widget) {
    switch (control.kind()) {
        case ControlKind::TextBox: {
            const auto& model = static_cast<TextBox&>(control);
            if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
                const QString text = displayed(model.text());
                if (edit->toPlainText() != text) {
                    edit->setPlainText(text);
                }
            } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
                const QString text = ToQString(model.text());
                if (line->text() != text) {
                    line->setText(text);
                }
            }
            break;
        }
        case ControlKind::ComboBox: {
            const auto& model = static_cast<ComboBox&>(control);
            auto* combo = static_cast<QComboBox*>(widget);
            if (combo->count() != static_cast<int>(model.items().size())) {
                combo->clear();
                for (const Text& item : model.items()) {
                    combo->addItem(ToQString(item));
                }
            }
            if (model.listIndex() >= 0) {
                combo->setCurrentIndex(model.listIndex());
            }
            if (combo->currentText() != ToQString(model.text())) {
                combo->setEditText(ToQString(model.text()));
            }
            break;
        }
        case ControlKind::CheckBox: {
            const auto& model = static_cast<CheckBox&>(control);
            auto* box = static_cast<QCheckBox*>(widget);
            box->setTristate(model.value() == 2);
            box->setCheckState(model.value() == 1   ? Qt::Checked
                               : model.value() == 2 ? Qt::PartiallyChecked
                                                    : Qt::Unchecked);
            break;
        }
        case ControlKind::OptionButton:
            static_cast<QRadioButton*>(widget)->setChecked(
                static_cast<OptionButton&>(control).value());
            break;
        default:
            break;
    }
}

namespace {

std::uint32_t littleEndian(const uchar* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// The pixels of an uncompressed 24-bit bitmap (BITMAPINFOHEADER, no palette,
// no bit fields), or a null image for any other kind of file. Qt's reader
// converts such a file a pixel at a time; its rows are already the layout of
// QImage::Format_BGR888 apart from their order.
QImage plainBitmap(const uchar* data, qsizetype size) {
    constexpr qsizetype fileHeader = 14;
    if (size < fileHeader + 40 || data[0] != 'B' || data[1] != 'M') {
        return {};
    }
    const uchar* info = data + fileHeader;
    const std::uint32_t pixelsAt = littleEndian(data + 10, 4);
    const auto width = static_cast<std::int32_t>(littleEndian(info + 4, 4));
    const auto height = static_cast<std::int32_t>(littleEndian(info + 8, 4));
    if (littleEndian(info, 4) < 40 || littleEndian(info + 12, 2) != 1 ||
        littleEndian(info + 14, 2) != 24 || littleEndian(info + 16, 4) != 0 || width <= 0 ||
        width > 32767 || height == 0 || height < -32767 || height > 32767) {
        return {};
    }
    const int rows = height < 0 ? -height : height;
    const qsizetype stride = (static_cast<qsizetype>(width) * 3 + 3) / 4 * 4;
    if (pixelsAt > static_cast<std::uint64_t>(size) ||
        stride * rows > size - static_cast<qsizetype>(pixelsAt)) {
        return {};  // truncated: let the full reader decide what to show
    }
    // Wraps the bytes without copying, then takes them in top-to-bottom order.
    // mirrored() hands back the very image for a single row, still over the
    // caller's bytes, so detach() makes sure the result owns its pixels.
    const QImage rowsAsStored(data + pixelsAt, width, rows, stride, QImage::Format_BGR888);
    QImage image = height < 0 ? rowsAsStored.copy() : rowsAsStored.mirrored(false, true);
    image.detach();
    return image;
}

}  // namespace

QImage LoadBitmap(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        // A file on disk maps without a copy; a compressed resource maps to
        // the bytes Qt inflated for it.
        const qint64 size = file.size();
        if (uchar* mapped = file.map(0, size)) {
            QImage image = plainBitmap(mapped, size);
            file.unmap(mapped);
            if (!image.isNull()) {
                return image;
            }
        }
    }
    return QImage(path);
}

QFont DesktopFont(const std::string& family) {
    // Where the named face is missing, the first sans-serif of similar metrics
    // that the desktop has stands in for it.
    const QStringList candidates = {
        QString::fromStdString(family), QStringLiteral("Microsoft Sans Serif"),
        QStringLiteral("Arial"),        QStringLiteral("Liberation Sans"),
        QStringLiteral("Nimbus Sans"),  QStringLiteral("DejaVu Sans")};
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    // Name the first one installed. Handed the whole list, Qt would have the
    // font configuration sort every installed font for a substitute of each
    // missing name before it tried the next one. A family offered by several
    // foundries is listed as "Family [foundry]".
    const QStringList installed = QFontDatabase::families();
    for (const QString& candidate : candidates) {
        const QString withFoundry = candidate + QStringLiteral(" [");
        for (const QString& name : installed) {
            if (name.compare(candidate, Qt::CaseInsensitive) == 0 ||
                name.startsWith(withFoundry, Qt::CaseInsensitive)) {
                font.setFamily(candidate);
                return font;
            }
        }
    }
    font.setFamilies(candidates);  // none of them: the font configuration's choice
    return font;
}

QColor SystemColourValue(SystemColour colour) {
    switch (colour) {
        case SystemColour::InactiveBorder:
#ifdef _WIN32
        {
            const COLORREF c = GetSysColor(COLOR_INACTIVEBORDER);
            return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
        }
#else
            // The classic desktop's inactive window border grey.
            return QColor(0xD4, 0xD0, 0xC8);
#endif
    }
    return {};
}
