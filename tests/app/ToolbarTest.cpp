#include "app/MainWindow.h"
#include "app/MainController.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/ActionRegistry.h"
#include "platform/toolkit/Application.h"
#include "platform/toolkit/Toolbar.h"
#include "platform/toolkit/ToolbarImage.h"
#include "prefs/PreferencesPanel.h"
#include "tests/support/ListedDisplayServices.h"
#include "tests/support/MenuCommand.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
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
    return SettingsStore::shared();
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

// The item of that identifier a toolbar shows.
QAction* item(const Toolbar& toolbar, const QString& identifier)
{
    const qsizetype index = toolbar.itemIdentifiers().indexOf(identifier);
    if (index < 0)
        throw std::runtime_error("no item " + identifier.toStdString());
    return toolbar.actions().at(index);
}

// The real main window, shown as at start-up, with no toolbar
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
        mainWindow = std::make_unique<MainWindow>();
        mainWindow->show();
        mainWindow->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mainWindow.get(), kWaitLimitMilliseconds));
    }
    // The next run of the program, as far as the settings store can tell.
    void restart()
    {
        mainWindow.reset();
        open();
    }

    Toolbar& toolbar() const { return *mainWindow->toolbar(); }
    MainController& controller() const { return *mainWindow->controller(); }
    Scene& scene() const { return *mainWindow->view()->getScene(); }
    QWidget* button(const QString& identifier) const { return toolbar().widgetForAction(item(toolbar(), identifier)); }
    void click(const QString& identifier) const { QTest::mouseClick(button(identifier), Qt::LeftButton); }
    // Whether each of the five buttons is enabled, in the default order.
    std::vector<bool> enabledStates() const
    {
        std::vector<bool> states;
        for (const QString& identifier : kDefaults)
            states.push_back(button(identifier)->isEnabled());
        return states;
    }

    std::unique_ptr<MainWindow> mainWindow;
};

TEST_F(MainToolbar, ShowsTheFiveCommandsAlongTheTopWithoutSpaces)
{
    EXPECT_EQ(toolbar().identifier(), kToolbarKey);
    EXPECT_EQ(mainWindow.get()->toolBarArea(&toolbar()), Qt::TopToolBarArea);
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

// The menus show the same commands by their own names, without images.
TEST_F(MainToolbar, ItemsCarryTheirLabelsToolTipsAndImages)
{
    struct Expected {
        QString identifier, label, toolTip, image, menuText;
    };
    const Expected expected[] = {
        {kFullScreen, "Full Screen", "Switch to Full Screen mode (use esc key to exit)", "Present", "&Full Screen"},
        {kStart, "Start", "Start Animation", "Run", "&Start"},
        {kStop, "Stop", "Stop Animation", "Stop", "S&top"},
        {kWireFrame, "Wire Frame", "Toggle Wire Frame Mode", "wireframe", "&Wire Frame"},
        {kPrefs, "Preferences", "Preferences", "ferlowprefs", "&Preferences…"},
    };
    QList<QImage> images;
    for (const Expected& e : expected) {
        const QImage image = pixels(ToolbarImage::icon(e.image));
        ASSERT_FALSE(image.isNull()) << e.image.toStdString();
        EXPECT_FALSE(images.contains(image)) << e.image.toStdString(); // no two alike, so no mix-up hides
        images.append(image);
        const auto& shown = *qobject_cast<QToolButton*>(button(e.identifier));
        EXPECT_EQ(shown.text(), e.label);
        EXPECT_EQ(shown.toolTip(), e.toolTip);
        EXPECT_EQ(pixels(shown.icon()), image) << e.identifier.toStdString();
        EXPECT_EQ(menuCommand(*mainWindow, e.menuText), shown.defaultAction()) << e.identifier.toStdString();
        EXPECT_FALSE(shown.defaultAction()->isIconVisibleInMenu()) << e.identifier.toStdString();
    }
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
    EXPECT_TRUE(mainWindow->preferencesPanel()->isVisible());
}

TEST_F(MainToolbar, FullScreenItemEntersFullScreenAndTheToolbarComesBack)
{
    DisplayServices::replace(std::make_unique<ListedDisplayServices>(
        std::vector{displayMode(1024, 768, 24)}, displayMode(1920, 1080, 24), false));
    restart();
    bool fullScreen = false, toolbarHidden = false;
    QObject steps; // what has not run by the end goes with the test
    QTimer::singleShot(300, &steps, [&] {
        fullScreen = controller().inFullScreenLoop() && mainWindow.get()->isFullScreen();
        toolbarHidden = !toolbar().isVisible();
        QWindow* target = QGuiApplication::focusWindow() ? QGuiApplication::focusWindow() : mainWindow->view();
        QTest::keyClick(target, Qt::Key_Escape);
    });
    QTimer::singleShot(3000, &steps, [this] { QTest::keyClick(mainWindow->view(), Qt::Key_Escape); });
    click(kFullScreen);
    EXPECT_TRUE(fullScreen);
    EXPECT_TRUE(toolbarHidden);
    EXPECT_FALSE(controller().inFullScreenLoop());
    EXPECT_TRUE(toolbar().isVisible());
}

// At once, in the toolbar and the menus alike: no pass of the event loop
// comes between a change and the states that follow it.
TEST_F(MainToolbar, StartAndStopFollowTheAnimationWhateverChangesIt)
{
    const std::vector<bool> running{false, true, true, true, true};
    const std::vector<bool> stopped{true, false, true, true, true};
    QAction* startCommand = menuCommand(*mainWindow, QStringLiteral("&Start"));
    QAction* stopCommand = menuCommand(*mainWindow, QStringLiteral("S&top"));
    ASSERT_TRUE(startCommand && stopCommand);
    EXPECT_EQ(enabledStates(), running);

    click(kStop);
    EXPECT_EQ(enabledStates(), stopped);
    EXPECT_TRUE(startCommand->isEnabled());
    EXPECT_FALSE(stopCommand->isEnabled());

    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(mainWindow->view(), &space);
    EXPECT_EQ(enabledStates(), running);
    EXPECT_FALSE(startCommand->isEnabled());

    QKeyEvent w(QEvent::KeyPress, Qt::Key_W, Qt::NoModifier, QStringLiteral("w"));
    QCoreApplication::sendEvent(mainWindow->view(), &w); // passes through stopped and back
    EXPECT_EQ(enabledStates(), running);

    stopCommand->trigger();
    EXPECT_EQ(enabledStates(), stopped);
}

TEST_F(MainToolbar, ArrangementAndDisplayModeSurviveARestart)
{
    const QStringList arranged{kPrefs, ToolbarItemIdentifier::Separator, kStart, kStop};
    toolbar().setItemIdentifiers(arranged);
    toolbar().chooseDisplayMode(Toolbar::kDisplayModes[1]);
    EXPECT_EQ(store().stringArrayForKey(kToolbarKey), arranged);
    EXPECT_EQ(store().integerForKey(kDisplayModeKey), 2);

    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(toolbar().itemIdentifiers(), arranged);
    EXPECT_TRUE(item(toolbar(), ToolbarItemIdentifier::Separator)->isSeparator());
    EXPECT_EQ(toolbar().toolButtonStyle(), Qt::ToolButtonIconOnly);

    toolbar().setItemIdentifiers({}); // the user took everything out
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_TRUE(toolbar().actions().empty());
}

// As another version, or a hand, may have left them: identifiers of no
// command the toolbar offers (Antialiasing is one, but only in the menus),
// a second Stop, a number that is no display mode.
TEST_F(MainToolbar, StoredValuesNoLongerKnownAreLeftOut)
{
    store().setObject(QStringList{QStringLiteral("Obsolete Item Identifier"), kStop, QString(),
                                  QStringLiteral("start item identifier"), kStart + QLatin1Char(' '),
                                  QStringLiteral("Antialiasing Item Identifier"),
                                  ToolbarItemIdentifier::FlexibleSpace, kStop, kStart},
                      kToolbarKey);
    store().setInteger(42, kDisplayModeKey);
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_EQ(toolbar().itemIdentifiers(), (QStringList{kStop, ToolbarItemIdentifier::FlexibleSpace, kStart}));
    EXPECT_EQ(toolbar().toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
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
// window's colour all along, where the style draws its line on a plain tool
// bar of the window.
TEST_F(MainToolbar, HasNoBaselineSeparator)
{
    const auto bottomRowIsPlain = [this](QToolBar& bar) {
        const QImage image = bar.grab().toImage();
        const QRgb window = bar.palette().window().color().rgb();
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, image.height() - 1) != window)
                return false;
        return true;
    };
    EXPECT_TRUE(bottomRowIsPlain(toolbar()));
    QToolBar* plain = mainWindow.get()->addToolBar(QStringLiteral("Plain"));
    plain->addAction(item(toolbar(), kStart));
    EXPECT_FALSE(bottomRowIsPlain(*plain));
}

TEST_F(MainToolbar, ScreenshotOfTheWindowWithItsToolbar)
{
    // The Stop icon's outline is drawn, in the dark grey of the artwork.
    QImage shot;
    QRect bar;
    int dark = 0;
    const bool drawn = waitUntil([&] {
        shot = mainWindow.get()->screen()->grabWindow(mainWindow.get()->winId()).toImage();
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
    const QPoint viewTop = mainWindow->view()->container()->mapTo(mainWindow.get(), QPoint(0, 0));
    EXPECT_LE(bar.bottom(), viewTop.y()) << path.toStdString();
    EXPECT_TRUE(drawn) << dark << " dark pixels in the Stop icon; " << path.toStdString();
}

// A toolbar of the toolkit layer over two commands, in a window of its own.
TEST(PlainToolbar, MakesTheStandardItemsItself)
{
    using namespace ToolbarItemIdentifier;
    ensureGuiApplication();
    QAction a(QStringLiteral("A")), b(QStringLiteral("B"));
    ActionRegistry commands;
    commands.add(QStringLiteral("Known A"), &a);
    commands.add(QStringLiteral("Known B"), &b);
    QMainWindow window;
    window.resize(600, 100);
    auto* shown = new Toolbar(QStringLiteral("Plain Toolbar"), commands, QStringList{"Known A", "Known B"});
    window.addToolBar(shown);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, kWaitLimitMilliseconds));
    Toolbar& toolbar = *shown;

    toolbar.setItemIdentifiers({"Known A", Separator, Space, "Unknown", CustomizeToolbar, FlexibleSpace, "Known B"});
    EXPECT_EQ(toolbar.itemIdentifiers(),
              (QStringList{"Known A", Separator, Space, CustomizeToolbar, FlexibleSpace, "Known B"}));
    EXPECT_TRUE(toolbar.actions()[1]->isSeparator());
    const QWidget* space = toolbar.widgetForAction(toolbar.actions()[2]);
    const QWidget* last = toolbar.widgetForAction(&b);
    // Once laid out: the space as wide as an icon, the flexible space taking
    // the rest, so the last item sits at the far end.
    EXPECT_TRUE(waitUntil([&] {
        return space->width() == Toolbar::kIconSize && last->geometry().right() > toolbar.width() - 20;
    })) << "space " << space->width() << " wide, last item ends at " << last->geometry().right() << " of "
        << toolbar.width();
    const QAction& customise = *toolbar.actions()[3];
    EXPECT_EQ(customise.iconText(), QStringLiteral("Customise"));
    EXPECT_FALSE(pixels(customise.icon()).isNull());
}

} // namespace
