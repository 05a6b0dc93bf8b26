#include "controls/TIpAddressEdit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStringList>

namespace kestrix {

namespace {
constexpr int kDotWidth = 6;
constexpr int kMaxValue = 255;
}  // namespace

CTIpAddressEdit::CTIpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    static const QRegularExpression kDigits(QStringLiteral("[0-9]{0,3}"));
    for (size_t i = 0; i < fields_.size(); ++i) {
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(new QRegularExpressionValidator(kDigits, field));
        field->installEventFilter(this);
        field->setObjectName(QStringLiteral("field%1").arg(i));
        const int index = static_cast<int>(i);
        connect(field, &QLineEdit::textEdited, this, [this, index] { OnEdited(index); });
        fields_[i] = field;
    }
    for (size_t i = 0; i < dots_.size(); ++i) {
        auto* dot = new QLabel(QStringLiteral("."), this);
        dot->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        dots_[i] = dot;
    }
    setFocusProxy(fields_[0]);
    LayoutFields();
}

void CTIpAddressEdit::SetAddress(const QString& dotted) {
    const QStringList parts = dotted.trimmed().split(QLatin1Char('.'));
    bool valid = parts.size() == 4;
    std::array<int, 4> values{};
    for (int i = 0; valid && i < 4; ++i) {
        const QString& part = parts[i];
        bool ok = false;
        values[static_cast<size_t>(i)] = part.toInt(&ok);
        valid = ok && part.size() <= 3 && values[static_cast<size_t>(i)] >= 0 &&
                values[static_cast<size_t>(i)] <= kMaxValue;
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        fields_[i]->setText(valid ? QString::number(values[i]) : QString());
    }
    emit AddressChanged();
}

QString CTIpAddressEdit::Address() const {
    if (IsBlank()) return {};
    QStringList parts;
    for (QLineEdit* field : fields_) {
        parts << QString::number(field->text().isEmpty() ? 0 : field->text().toInt());
    }
    return parts.join(QLatin1Char('.'));
}

void CTIpAddressEdit::Clear() {
    SetAddress(QString());
}

bool CTIpAddressEdit::IsBlank() const {
    return FilledFieldCount() == 0;
}

int CTIpAddressEdit::FilledFieldCount() const {
    int n = 0;
    for (QLineEdit* field : fields_) n += field->text().isEmpty() ? 0 : 1;
    return n;
}

void CTIpAddressEdit::SetReadOnly(bool readOnly) {
    for (QLineEdit* field : fields_) field->setReadOnly(readOnly);
}

void CTIpAddressEdit::OnEdited(int index) {
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    // A number above 255 is held at 255, as the operator would have to
    // correct it anyway.
    if (field->text().toInt() > kMaxValue) field->setText(QString::number(kMaxValue));
    if (field->text().size() == 3 && field->cursorPosition() == 3) FocusField(index + 1);
    emit AddressChanged();
}

void CTIpAddressEdit::FocusField(int index) {
    if (index < 0 || index >= static_cast<int>(fields_.size())) return;
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

bool CTIpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    int index = -1;
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i] == watched) index = static_cast<int>(i);
    }
    if (index < 0) return QFrame::eventFilter(watched, event);
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    const auto* key = static_cast<QKeyEvent*>(event);
    // Moving out of a field at its start goes to the end of the one before,
    // at its end to the start of the one after.
    const auto moveTo = [this](int to, bool atEnd) {
        QLineEdit* target = fields_[static_cast<size_t>(to)];
        target->setFocus(Qt::OtherFocusReason);
        if (atEnd) {
            target->end(false);
        } else {
            target->home(false);
        }
        return true;
    };
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    switch (key->key()) {
        case Qt::Key_Period:
        case Qt::Key_Comma:
            if (!field->text().isEmpty() && !field->hasSelectedText()) FocusField(index + 1);
            return true;
        case Qt::Key_Backspace:
        case Qt::Key_Left:
            if (atStart && index > 0) return moveTo(index - 1, true);
            break;
        case Qt::Key_Right:
            if (field->cursorPosition() == field->text().size() && index < 3) {
                return moveTo(index + 1, false);
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

void CTIpAddressEdit::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    LayoutFields();
}

void CTIpAddressEdit::LayoutFields() {
    const QRect inner = contentsRect();
    const int fieldWidth = std::max((inner.width() - 3 * kDotWidth) / 4, 1);
    int x = inner.left();
    for (size_t i = 0; i < fields_.size(); ++i) {
        fields_[i]->setGeometry(x, inner.top(), fieldWidth, inner.height());
        x += fieldWidth;
        if (i < dots_.size()) {
            dots_[i]->setGeometry(x, inner.top(), kDotWidth, inner.height() - 4);
            x += kDotWidth;
        }
    }
}

}  // namespace kestrix
