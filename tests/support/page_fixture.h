#pragma once
// What the page tests (offscreen, over a scratch store) set up alike: the
// context with the bundle's texts, appearance and skin; the messages a page
// would show, recorded; a page shown at the list size and filled; the
// English and Chinese rows of the renders and the folder they go to.
// For targets made with kx_add_gui_test, which define KX_BUNDLE_DIR and
// KX_RENDER_DIR.

#include <memory>
#include <string>
#include <vector>

#include <QDir>
#include <QSize>
#include <QString>
#include <QTest>

#include "base/appearance.h"
#include "base/language.h"
#include "shell/AppContext.h"

namespace kestrix::testing {

inline std::string BundleDir() {
    return KX_BUNDLE_DIR "/";
}

// A fresh context with the bundle's English texts, its appearance and skin.
inline AppContext BundleContext() {
    AppContext context;
    const std::string dir = BundleDir();
    InitLanguageWithLocale(dir, 1033);
    context.appearance = LoadAppearanceSettings(dir);
    context.skin = BuildSkinPaths(dir, CurrentLocaleId());
    return context;
}

struct Message {
    MessageKind kind;
    QString text;
};

// A message hook that records every message; a question gets `answer`.
inline auto RecordMessages(std::vector<Message>& messages, bool answer = false) {
    return [&messages, answer](MessageKind kind, const QString& text) {
        messages.push_back({kind, text});
        return answer;
    };
}

// Shows `page` (made and wired by the caller) at the list pages' size over
// `source` and fills it.
template <class Page, class Source>
std::unique_ptr<Page> ShowPage(std::unique_ptr<Page> page, std::shared_ptr<Source> source,
                               QSize size = {924, 604}) {
    page->SetDeviceSource(std::move(source));
    page->resize(size);
    page->show();
    page->RefreshCurrentPage();
    return page;
}

// The rows of a renders_data(): English and Chinese.
inline void AddRenderLocales() {
    QTest::addColumn<uint>("locale");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("en") << 1033u << QStringLiteral("en");
    QTest::newRow("zh") << 2052u << QStringLiteral("zh");
}

// Switches the texts and the skin to `locale` for a render; the folder the
// renders go to (made here), with its trailing slash.
inline QString UseRenderLocale(AppContext& context, uint locale) {
    const std::string dir = BundleDir();
    InitLanguageWithLocale(dir, locale);
    context.skin = BuildSkinPaths(dir, CurrentLocaleId());
    const QString out = QStringLiteral(KX_RENDER_DIR "/");
    QDir().mkpath(out);
    return out;
}

}  // namespace kestrix::testing
