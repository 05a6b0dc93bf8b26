#pragma once
// An IPv4 address field as the address dialogs use it: four number fields
// of 0..255 with dots between them. Its text is the dotted address, or
// empty while every field is blank; a blank field among filled ones reads
// as 0. Typing a dot or a third digit moves on to the next field,
// Backspace in an empty field goes back.

#include <array>

#include <QFrame>
#include <QString>

class QLineEdit;

namespace kestrix {

class CTIpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit CTIpAddressEdit(QWidget* parent = nullptr);

    // "a.b.c.d" fills the four fields; an empty text blanks them; anything
    // that is not four numbers of 0..255 blanks them too.
    void SetAddress(const QString& dotted);
    QString Address() const;
    void Clear();
    bool IsBlank() const;
    // How many of the four fields hold a number.
    int FilledFieldCount() const;
    void SetReadOnly(bool readOnly);

    QLineEdit* Field(int index) const { return fields_[static_cast<size_t>(index)]; }

signals:
    void AddressChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnEdited(int index);
    void FocusField(int index);
    void LayoutFields();

    std::array<QLineEdit*, 4> fields_{};
    std::array<QWidget*, 3> dots_{};
};

}  // namespace kestrix
