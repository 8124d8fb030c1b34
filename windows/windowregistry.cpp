#include "windowregistry.h"

#include "form1.h"
#include "form2.h"

namespace {

void unload(QWidget *window)
{
    if (!window)
        return;
    window->hide();
    window->deleteLater();
}

} // namespace

WindowRegistry::WindowRegistry(QObject *parent) : QObject(parent) {}

WindowRegistry::~WindowRegistry()
{
    delete m_form1.data();
    delete m_form2.data();
}

Form1 *WindowRegistry::form1()
{
    if (!m_form1) {
        m_form1 = new Form1;
        connect(m_form1, &Form1::loadPictureRequested, this, &WindowRegistry::Form1_LoadPicture);
    }
    return m_form1;
}

Form2 *WindowRegistry::form2()
{
    if (!m_form2) {
        m_form2 = new Form2;
        connect(m_form2, &Form2::confirmed, this, &WindowRegistry::Form2_Confirmed);
    }
    return m_form2;
}

void WindowRegistry::unloadForm1()
{
    Form1 *window = m_form1;
    m_form1 = nullptr;
    unload(window);
}

void WindowRegistry::unloadForm2()
{
    Form2 *window = m_form2;
    m_form2 = nullptr;
    unload(window);
}

// The load-picture command: the puzzle window goes, a running game with it, and the chooser
// comes. The chooser is shown before the puzzle window is hidden, so the program never stands
// without a visible window, which would end it.
void WindowRegistry::Form1_LoadPicture()
{
    form2()->show();
    unloadForm1();
}

// The chooser's confirm: a fresh puzzle window with the chosen picture (or its own default
// picture when none was chosen) and its start command enabled; then the chooser goes.
void WindowRegistry::Form2_Confirmed(const QImage &picture)
{
    Form1 *puzzle = form1();
    if (!picture.isNull())
        puzzle->setPicture(picture);
    puzzle->setStartEnabled(true);
    puzzle->show();
    unloadForm2();
}
