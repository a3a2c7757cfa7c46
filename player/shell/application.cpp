#include "shell/application.h"

#include <QAction>

#include "directory/about_window.h"
#include "directory/language_window.h"
#include "directory/message_window.h"
#include "directory/station_list_window.h"
#include "directory/station_update_window.h"
#include "directory/web_page_window.h"
#include "recording/record_setup_window.h"
#include "recording/recorder_host_window.h"
#include "recording/recordings_list_window.h"
#include "recording/schedule_editor_window.h"
#include "shell/main_window.h"

Application::Application(const PlatformParts &platform, const QString &programDir, QObject *parent)
    : QObject(parent),
      m_platform(platform),
      m_programDir(programDir),
      m_shell(m_state, m_store, platform, programDir)
{
    createWindows();
    connectWindows();
}

Application::~Application()
{
    // Windows go before the store they read.
    m_recorderHost.reset();
    m_about.reset();
    m_message.reset();
    m_recMain.reset();
    m_recordlist.reset();
    m_myvexa.reset();
    m_radioUpdate.reset();
    m_location.reset();
    m_lngsel.reset();
    m_record.reset();
    m_main.reset();
    m_shell.ADOTb1.close();
    m_shell.ADOTb2.close();
    m_store.close();
}

void Application::createWindows()
{
    // Order matters: the main window's creation runs before the store is
    // open; the schedule window's creation opens it.
    m_main = std::make_unique<TForm_main>(m_shell);
    m_record = std::make_unique<TForm_record>(m_store, Store::fileIn(m_programDir), m_shell.ADOTb1,
                                              m_platform.messages);
    m_lngsel = std::make_unique<TformLngsel>(m_shell);
    m_location = std::make_unique<TForm_location>();
    m_radioUpdate = std::make_unique<TForm_radioUpdate>();
    m_myvexa = std::make_unique<TForm_myvexa>();
    m_recordlist = std::make_unique<TForm_recordlist>();
    m_recMain = std::make_unique<TrecMainForm>();
    m_message = std::make_unique<Tform_message>();
    m_about = std::make_unique<TAboutBox>();
    m_recorderHost = std::make_unique<TFormR>();
}

void Application::connectWindows()
{
    TForm_main *main = m_main.get();
    connect(&m_shell, &MainShell::firstRunLanguageChoice, m_lngsel.get(), [this] { m_lngsel->exec(); });
    connect(main->Language1, &QAction::triggered, m_lngsel.get(), [this] { m_lngsel->exec(); });
    connect(m_lngsel.get(), &TformLngsel::confirmationRequested, m_message.get(), &Tform_message::showMessage);
    connect(main, &TForm_main::minimised, m_location.get(), &QWidget::close);
    connect(main, &TForm_main::closing, this, [this] {
        m_recorderHost->close();
        Q_EMIT finished();
    });
}

void Application::start()
{
    m_main->showWindow();
}
