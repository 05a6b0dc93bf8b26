#pragma once

#include <memory>

#include <QObject>

#include "app/PageRegistry.h"
#include "shell/AppContext.h"

class PagesTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstFillListsByIpDescending();
    void headingsShareOneDirectionToggle();
    void ticksSelectAllAndEveryRefreshClearsThem();
    void filterAndPageSizeGoBackToPageOne();
    void stripClickGoesThroughTheContainer();
    void periodicRefreshOnlyOnListPagesWhileAllowed();
    void shrunkListShowsTheFirstPage();
    void statusPageAppendsAnnouncedOnlyDevices();
    void noSelectionMessages();
    void exportWritesEveryMatchingRowInOrder();
    void headingsAndCountInChinese();
    void systemToolJoinsAddressesAndFollowsAdapters();

    void renderPages_data();
    void renderPages();

private:
    kestrix::AppContext ctx_;
};
