#pragma once

#include <QObject>

class ControlsTest : public QObject {
    Q_OBJECT
private slots:
    void gridRowsCellsAndNotifications();
    void gridRebuildsWithRedrawOff();
    void gridEditsOnlyTheChosenColumn();
    void gridImageStripWithWhiteTransparent();
    void stripNumbering();
    void stripGeometryAndClicks();
    void ipAddressEditorTextInAndOut();
    void ipAddressEditorTyping();
    void ipAddressEditorKeepsItsTextWhenTranslated();
    void waitDialogSearchesAtTheRightTicks();
    void waitDialogCloseButtonEndsAtOnce();
};
