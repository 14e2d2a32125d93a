#include "app/FerlowInterface.h"
#include "app/MainController.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Application.h"
#include "platform/toolkit/Toolbar.h"
#include "platform/toolkit/Window.h"
#include "prefs/PreferencesPanel.h"
#include "tests/support/ListedDisplayServices.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QAbstractEventDispatcher>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

const QString kToolbarKey = QStringLiteral("Toolbar Identifier");
const QString kDisplayModeKey = QStringLiteral("Toolbar Identifier Display Mode");
const QString kStart = QStringLiteral("Start Item Identifier");
const QString kStop = QStringLiteral("Stop Item Identifier");
const QString kFullScreen = QStringLiteral("FullScreen Item Identifier");
const QString kWireFrame = QStringLiteral("WireFrame Item Identifier");
const QString kPrefs = QStringLiteral("Prefs Item Identifier");
const QStringList kDefaults{kStart, kStop, kFullScreen, kWireFrame, kPrefs};

SettingsStore& store()
{
    return SettingsStore::standardUserDefaults();
}

// Lets the event loop come to wait for events a few times, as the running
// application's loop does between events; each time it is woken at once.
// Counted rather than timed: on a loaded machine a timed pause may pass in a
// single turn of the loop.
void idle()
{
    QEventLoop loop;
    int waits = 0;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
        if (++waits == 3)
            loop.quit();
        else
            dispatcher->wakeUp();
    });
    loop.exec();
}

QImage pixels(const QIcon& icon)
{
    return icon.pixmap(QSize(Toolbar::kIconSize, Toolbar::kIconSize)).toImage();
}

QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int row = 0; row < list.count(); ++row)
        result.append(list.item(row)->text());
    return result;
}

// The real main interface, woken and shown as at start-up, with no toolbar
// arrangement stored before it.
class MainToolbar : public testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        open();
    }

    void open()
    {
        interface = std::make_unique<FerlowInterface>();
        wakeInterface(*interface);
        interface->showMainWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(interface->window(), kWaitLimitMilliseconds));
    }
    // The next run of the program, as far as the settings store can tell.
    void restart()
    {
        interface.reset();
        open();
    }

    Toolbar& toolbar() const { return *interface->window()->toolbar(); }
    MainController& controller() const { return *interface->controller(); }
    Scene& scene() const { return *interface->view()->getScene(); }
    ToolbarItem& item(const QString& identifier) const
    {
        for (const auto& shown : toolbar().items())
            if (shown->itemIdentifier() == identifier)
                return *shown;
        throw std::runtime_error("no item " + identifier.toStdString());
    }
    QWidget* button(const QString& identifier) const { return toolbar().widgetForAction(item(identifier).view()); }
    void click(const QString& identifier) const
    {
        QTest::mouseClick(button(identifier), Qt::LeftButton);
        idle();
    }
    // Whether each of the five is enabled, in the default order.
    std::vector<bool> enabledStates() const
    {
        std::vector<bool> states;
        for (const QString& identifier : kDefaults)
            states.push_back(item(identifier).isEnabled());
        return states;
    }

    std::unique_ptr<FerlowInterface> interface;
};

TEST_F(MainToolbar, ShowsTheFiveCommandsAlongTheTopWithoutSpaces)
{
    EXPECT_EQ(toolbar().identifier(), kToolbarKey);
    EXPECT_TRUE(toolbar().allowsUserCustomization());
    EXPECT_EQ(interface->window()->toolBarArea(&toolbar()), Qt::TopToolBarArea);
    EXPECT_EQ(toolbar().displayMode(), ToolbarDisplayMode::Default);
    EXPECT_EQ(toolbar().toolButtonStyle(), Qt::ToolButtonTextUnderIcon);

    EXPECT_EQ(toolbar().itemIdentifiers(), kDefaults);
    EXPECT_EQ(toolbar().actions().size(), kDefaults.size()); // nothing between them
    int left = -1;
    for (const QString& identifier : kDefaults) {
        QWidget* shown = button(identifier);
        ASSERT_TRUE(qobject_cast<QToolButton*>(shown)) << identifier.toStdString();
        EXPECT_TRUE(shown->isVisible());
        EXPECT_GT(shown->x(), left) << identifier.toStdString();
        left = shown->x();
    }
}

TEST_F(MainToolbar, ThePaletteOffersTheFiveThenTheStandardItems)
{
    using namespace ToolbarItemIdentifier;
    EXPECT_EQ(controller().toolbarDefaultItemIdentifiers(toolbar()), kDefaults);
    EXPECT_EQ(controller().toolbarAllowedItemIdentifiers(toolbar()),
              (kDefaults + QStringList{Separator, FlexibleSpace, Space, CustomizeToolbar}));
}

TEST_F(MainToolbar, ItemsCarryTheirLabelsToolTipsAndImages)
{
    struct Expected {
        QString identifier, label, toolTip, image;
    };
    const Expected expected[] = {
        {kFullScreen, "Full Screen", "Switch to Full Screen mode (use esc key to exit)", "Present"},
        {kStart, "Start", "Start Animation", "Run"},
        {kStop, "Stop", "Stop Animation", "Stop"},
        {kWireFrame, "Wire Frame", "Toggle Wire Frame Mode", "wireframe"},
        {kPrefs, "Preferences", "Preferences", "ferlowprefs"},
    };
    QList<QImage> images;
    for (const Expected& e : expected) {
        const QImage image = pixels(ToolbarImage::imageNamed(e.image));
        ASSERT_FALSE(image.isNull()) << e.image.toStdString();
        EXPECT_FALSE(images.contains(image)) << e.image.toStdString(); // no two alike, so no mix-up hides
        images.append(image);
        for (const bool willBeInserted : {true, false}) {
            const auto made = controller().toolbar(toolbar(), e.identifier, willBeInserted);
            ASSERT_TRUE(made) << e.identifier.toStdString();
            EXPECT_EQ(made->itemIdentifier(), e.identifier);
            EXPECT_EQ(made->label(), e.label);
            EXPECT_EQ(made->paletteLabel(), e.label);
            EXPECT_EQ(made->toolTip(), e.toolTip);
            EXPECT_EQ(pixels(made->image()), image) << e.identifier.toStdString();
        }
        EXPECT_EQ(qobject_cast<QToolButton*>(button(e.identifier))->text(), e.label);
    }
}

TEST_F(MainToolbar, OnlyTheFiveIdentifiersMakeItems)
{
    for (const QString& other : {QStringLiteral("Obsolete Item Identifier"), QString(),
                                 QStringLiteral("start item identifier"), kStart + QLatin1Char(' '),
                                 ToolbarItemIdentifier::Separator})
        EXPECT_FALSE(controller().toolbar(toolbar(), other, true)) << other.toStdString();
}

TEST_F(MainToolbar, ItemsSendTheirCommandsToTheController)
{
    click(kWireFrame);
    EXPECT_TRUE(scene().getWireFrame());
    EXPECT_TRUE(controller().animating());

    click(kStop);
    EXPECT_FALSE(controller().animating());
    EXPECT_FALSE(scene().getAnimate());
    click(kStop); // disabled now: nothing happens
    click(kStart);
    EXPECT_TRUE(controller().animating());
    EXPECT_TRUE(scene().getAnimate());

    click(kPrefs);
    EXPECT_TRUE(interface->preferencesPanel()->isVisible());
}

TEST_F(MainToolbar, FullScreenItemEntersFullScreenAndTheToolbarComesBack)
{
    DisplayServices::replace(std::make_unique<ListedDisplayServices>(
        std::vector{displayMode(1024, 768, 24)}, displayMode(1920, 1080, 24), false));
    restart();
    bool fullScreen = false, toolbarHidden = false;
    QObject steps; // what has not run by the end goes with the test
    QTimer::singleShot(300, &steps, [&] {
        fullScreen = controller().inFullScreenLoop() && interface->window()->isFullScreen();
        toolbarHidden = !toolbar().isVisible();
        QWindow* target = QGuiApplication::focusWindow() ? QGuiApplication::focusWindow() : interface->view();
        QTest::keyClick(target, Qt::Key_Escape);
    });
    QTimer::singleShot(3000, &steps, [this] { QTest::keyClick(interface->view(), Qt::Key_Escape); });
    click(kFullScreen);
    EXPECT_TRUE(fullScreen);
    EXPECT_TRUE(toolbarHidden);
    EXPECT_FALSE(controller().inFullScreenLoop());
    EXPECT_TRUE(toolbar().isVisible());
}

TEST_F(MainToolbar, StartAndStopFollowTheAnimationWhateverChangesIt)
{
    const std::vector<bool> running{false, true, true, true, true};
    const std::vector<bool> stopped{true, false, true, true, true};
    idle();
    EXPECT_EQ(enabledStates(), running);
    EXPECT_FALSE(button(kStart)->isEnabled());

    click(kStop);
    EXPECT_EQ(enabledStates(), stopped);
    EXPECT_TRUE(button(kStart)->isEnabled());
    EXPECT_FALSE(button(kStop)->isEnabled());

    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(interface->view(), &space);
    idle();
    EXPECT_EQ(enabledStates(), running);

    QKeyEvent w(QEvent::KeyPress, Qt::Key_W, Qt::NoModifier, QStringLiteral("w"));
    QCoreApplication::sendEvent(interface->view(), &w); // passes through stopped and back
    idle();
    EXPECT_EQ(enabledStates(), running);

    QAction* stopCommand = nullptr;
    for (QAction* action : interface->window()->menuBar()->findChildren<QAction*>())
        if (action->text() == QStringLiteral("S&top"))
            stopCommand = action;
    ASSERT_TRUE(stopCommand);
    stopCommand->trigger();
    idle();
    EXPECT_EQ(enabledStates(), stopped);
}

TEST_F(MainToolbar, ArrangementAndDisplayModeSurviveARestart)
{
    const QStringList arranged{kPrefs, ToolbarItemIdentifier::Separator, kStart, kStop};
    toolbar().setItemIdentifiers(arranged);
    toolbar().setDisplayMode(ToolbarDisplayMode::IconOnly);
    EXPECT_EQ(store().stringArrayForKey(kToolbarKey), arranged);
    EXPECT_EQ(store().integerForKey(kDisplayModeKey), 2);

    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(toolbar().itemIdentifiers(), arranged);
    EXPECT_TRUE(item(ToolbarItemIdentifier::Separator).view()->isSeparator());
    EXPECT_EQ(toolbar().displayMode(), ToolbarDisplayMode::IconOnly);
    EXPECT_EQ(toolbar().toolButtonStyle(), Qt::ToolButtonIconOnly);

    toolbar().setItemIdentifiers({}); // the user took everything out
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_TRUE(toolbar().items().empty());
}

TEST_F(MainToolbar, StoredIdentifiersNoLongerKnownAreLeftOut)
{
    store().setObject(QStringList{QStringLiteral("Obsolete Item Identifier"), kStop,
                                  ToolbarItemIdentifier::FlexibleSpace, kStart},
                      kToolbarKey);
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(toolbar().itemIdentifiers(), (QStringList{kStop, ToolbarItemIdentifier::FlexibleSpace, kStart}));
    // The flexible space takes what is free: Start goes to the far end.
    EXPECT_LT(button(kStop)->x(), toolbar().width() / 4);
    EXPECT_GT(button(kStart)->geometry().right(), toolbar().width() * 3 / 4);
}

TEST_F(MainToolbar, ThePaletteRearrangesTheToolbarAndTheStore)
{
    const QPoint free(toolbar().width() - 10, 10);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, free, toolbar().mapToGlobal(free));
    QCoreApplication::sendEvent(&toolbar(), &rightClick);
    auto* menu = toolbar().findChild<QMenu*>();
    ASSERT_TRUE(menu);
    QStringList titles;
    for (QAction* action : menu->actions())
        titles.append(action->text());
    EXPECT_EQ(titles, (QStringList{"Icon and Label", "Icon Only", "Label Only", "", "Customise Toolbar…"}));
    EXPECT_TRUE(menu->actions().front()->isChecked());
    menu->actions().back()->trigger();
    menu->close();

    QDialog* palette = toolbar().customizationPalette();
    ASSERT_TRUE(palette);
    EXPECT_TRUE(palette->isVisible());
    auto& current = *palette->findChild<QListWidget*>(QStringLiteral("currentItems"));
    auto& allowed = *palette->findChild<QListWidget*>(QStringLiteral("allowedItems"));
    const auto press = [palette](const char* name) {
        palette->findChild<QPushButton*>(QString::fromLatin1(name))->click();
    };
    EXPECT_EQ(texts(current), (QStringList{"Start", "Stop", "Full Screen", "Wire Frame", "Preferences"}));
    EXPECT_EQ(texts(allowed), (QStringList{"Start", "Stop", "Full Screen", "Wire Frame", "Preferences", "Separator",
                                           "Flexible Space", "Space", "Customise"}));
    EXPECT_FALSE(allowed.item(0)->flags().testFlag(Qt::ItemIsEnabled)); // shown already, and only once

    current.setCurrentRow(0);
    allowed.setCurrentRow(5);
    press("add");
    const QStringList withSeparator{kStart, ToolbarItemIdentifier::Separator, kStop, kFullScreen, kWireFrame, kPrefs};
    EXPECT_EQ(toolbar().itemIdentifiers(), withSeparator);
    EXPECT_EQ(store().stringArrayForKey(kToolbarKey), withSeparator);

    current.setCurrentRow(5);
    press("moveUp");
    current.setCurrentRow(0);
    press("remove");
    const QStringList rearranged{ToolbarItemIdentifier::Separator, kStop, kFullScreen, kPrefs, kWireFrame};
    EXPECT_EQ(toolbar().itemIdentifiers(), rearranged);
    EXPECT_EQ(store().stringArrayForKey(kToolbarKey), rearranged);
    EXPECT_TRUE(allowed.item(0)->flags().testFlag(Qt::ItemIsEnabled)); // Start may come back

    palette->findChild<QComboBox*>(QStringLiteral("show"))->setCurrentIndex(2);
    EXPECT_EQ(toolbar().toolButtonStyle(), Qt::ToolButtonTextOnly);
    EXPECT_EQ(store().integerForKey(kDisplayModeKey), 3);

    press("restoreDefaults");
    EXPECT_EQ(toolbar().itemIdentifiers(), kDefaults);
    EXPECT_FALSE(store().stringArrayForKey(kToolbarKey)); // later defaults will apply
    EXPECT_EQ(texts(current).size(), kDefaults.size());
    press("done");
    EXPECT_FALSE(palette->isVisible());
}

TEST_F(MainToolbar, TheCustomiseItemOpensThePalette)
{
    toolbar().setItemIdentifiers({kStart, ToolbarItemIdentifier::CustomizeToolbar});
    EXPECT_FALSE(toolbar().customizationPalette());
    click(ToolbarItemIdentifier::CustomizeToolbar);
    ASSERT_TRUE(toolbar().customizationPalette());
    EXPECT_TRUE(toolbar().customizationPalette()->isVisible());
}

// No line sets the toolbar off from the window: its last row is the
// window's colour all along, where the style would draw its line.
TEST_F(MainToolbar, HasNoBaselineSeparator)
{
    const auto bottomRowIsPlain = [this] {
        const QImage image = toolbar().grab().toImage();
        const QRgb window = toolbar().palette().window().color().rgb();
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, image.height() - 1) != window)
                return false;
        return true;
    };
    EXPECT_TRUE(bottomRowIsPlain());
    toolbar().setShowsBaselineSeparator(true);
    EXPECT_FALSE(bottomRowIsPlain());
}

TEST_F(MainToolbar, ScreenshotOfTheWindowWithItsToolbar)
{
    // The Stop icon's outline is drawn, in the dark grey of the artwork.
    QImage shot;
    QRect bar;
    int dark = 0;
    const bool drawn = waitUntil([&] {
        idle(); // the items are validated, and drawn so, when the loop waits
        shot = interface->window()->screen()->grabWindow(interface->window()->winId()).toImage();
        bar = toolbar().geometry();
        const QRect stop = button(kStop)->geometry().translated(bar.topLeft());
        dark = 0;
        for (int y = stop.top(); y <= stop.bottom(); ++y)
            for (int x = stop.left(); x <= stop.right(); ++x)
                dark += qGray(shot.pixel(x, y)) < 100;
        return dark > 20;
    });
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("ferlow-toolbar.png"));
    shot.save(path);
    const QPoint viewTop = interface->view()->container()->mapTo(interface->window(), QPoint(0, 0));
    EXPECT_LE(bar.bottom(), viewTop.y()) << path.toStdString();
    EXPECT_TRUE(drawn) << dark << " dark pixels in the Stop icon; " << path.toStdString();
}

// A toolbar of the toolkit layer over a delegate that knows two items.
class FakeDelegate : public ToolbarDelegate {
public:
    std::unique_ptr<ToolbarItem> toolbar(Toolbar&, const QString& identifier, bool) override
    {
        asked.append(identifier);
        if (!identifier.startsWith(QLatin1String("Known")))
            return nullptr;
        auto item = ToolbarItem::initWithItemIdentifier(identifier);
        item->setLabel(identifier);
        return item;
    }
    QStringList toolbarDefaultItemIdentifiers(Toolbar&) override { return {QStringLiteral("Known A")}; }
    QStringList toolbarAllowedItemIdentifiers(Toolbar&) override { return {QStringLiteral("Known A")}; }
    bool validateToolbarItem(const ToolbarItem&) override { return enabled; }

    QStringList asked;
    bool enabled = true;
};

class PlainToolbar : public testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        window = std::make_unique<Window>();
    }

    // A window that shows the toolbar, which it owns.
    Toolbar& shown(std::unique_ptr<Toolbar> toolbar)
    {
        window->resize(600, 100);
        window->setToolbar(std::move(toolbar));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get(), kWaitLimitMilliseconds));
        return *window->toolbar();
    }

    const QString kIdentifier = QStringLiteral("Plain Toolbar");
    FakeDelegate delegate;
    std::unique_ptr<Window> window; // goes before the delegate
};

TEST_F(PlainToolbar, MakesTheStandardItemsItself)
{
    using namespace ToolbarItemIdentifier;
    Toolbar& toolbar = shown(std::make_unique<Toolbar>(kIdentifier));
    toolbar.setDelegate(&delegate);
    delegate.asked.clear();
    toolbar.setItemIdentifiers({"Known A", Separator, Space, "Unknown", CustomizeToolbar, FlexibleSpace, "Known B"});
    EXPECT_EQ(delegate.asked, (QStringList{"Known A", "Unknown", "Known B"}));
    EXPECT_EQ(toolbar.itemIdentifiers(),
              (QStringList{"Known A", Separator, Space, CustomizeToolbar, FlexibleSpace, "Known B"}));
    EXPECT_TRUE(toolbar.items()[1]->view()->isSeparator());
    const QWidget* space = toolbar.widgetForAction(toolbar.items()[2]->view());
    const QWidget* last = toolbar.widgetForAction(toolbar.items()[5]->view());
    // Once laid out: the space as wide as an icon, the flexible space taking
    // the rest, so the last item sits at the far end.
    EXPECT_TRUE(waitUntil([&] {
        return space->width() == Toolbar::kIconSize && last->geometry().right() > toolbar.width() - 20;
    })) << "space " << space->width() << " wide, last item ends at " << last->geometry().right() << " of "
        << toolbar.width();
    const ToolbarItem& customise = *toolbar.items()[3];
    EXPECT_EQ(customise.label(), QStringLiteral("Customise"));
    EXPECT_FALSE(pixels(customise.image()).isNull());

    // Another window replaces the toolbar with its own.
    window->setToolbar(std::make_unique<Toolbar>(QStringLiteral("Other")));
    EXPECT_EQ(window->findChildren<Toolbar*>().size(), 1);
    EXPECT_EQ(window->toolbar()->identifier(), QStringLiteral("Other"));
}

TEST_F(PlainToolbar, ValidatesItsItemsEachTimeTheEventLoopWaits)
{
    Toolbar& toolbar = shown(std::make_unique<Toolbar>(kIdentifier));
    toolbar.setDelegate(&delegate);
    EXPECT_TRUE(toolbar.items().front()->isEnabled());
    delegate.enabled = false;
    EXPECT_TRUE(toolbar.items().front()->isEnabled()); // not before the loop goes idle
    idle();
    EXPECT_FALSE(toolbar.items().front()->isEnabled());
    delegate.enabled = true;
    idle();
    EXPECT_TRUE(toolbar.items().front()->isEnabled());
}

// Whatever the order of setting up, Default keeps the mode the user chose in
// an earlier run; a stored number that is no mode counts as no choice.
TEST_F(PlainToolbar, DefaultDisplayModeKeepsTheUsersChoice)
{
    store().setInteger(3, kIdentifier + QStringLiteral(" Display Mode"));
    for (const bool autosaveFirst : {true, false}) {
        Toolbar toolbar(kIdentifier);
        if (autosaveFirst)
            toolbar.setAutosavesConfiguration(true);
        toolbar.setDisplayMode(ToolbarDisplayMode::Default);
        toolbar.setAutosavesConfiguration(true);
        EXPECT_EQ(toolbar.displayMode(), ToolbarDisplayMode::LabelOnly) << autosaveFirst;
        EXPECT_EQ(toolbar.toolButtonStyle(), Qt::ToolButtonTextOnly) << autosaveFirst;
    }
    Toolbar unsaved(kIdentifier);
    unsaved.setDisplayMode(ToolbarDisplayMode::Default);
    EXPECT_EQ(unsaved.toolButtonStyle(), Qt::ToolButtonTextUnderIcon);

    store().setInteger(42, kIdentifier + QStringLiteral(" Display Mode"));
    Toolbar damaged(kIdentifier);
    damaged.setAutosavesConfiguration(true);
    damaged.setDisplayMode(ToolbarDisplayMode::Default);
    EXPECT_EQ(damaged.toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
}

} // namespace
