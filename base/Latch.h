// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <coroutine>

// Awaits the next emission of `signal` and resumes the awaiting coroutine
// right there, inside the emission. Closing ends waits from destructors, and
// a wait must be over while the object it belongs to is still whole: a
// resume queued for later would find it gone.
template <class Sender, class Signal> class Emitted
{
public:
    Emitted(Sender* sender, Signal signal) : m_sender(sender), m_signal(signal) {}
    // Moved only before it waits, as an awaitable is handed to co_await.
    Emitted(Emitted&& other) noexcept : m_sender(other.m_sender), m_signal(other.m_signal) {}
    Emitted& operator=(Emitted&&) = delete;
    ~Emitted() { QObject::disconnect(m_connection); }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection = QObject::connect(m_sender, m_signal, m_sender, [this, waiting](auto&&...) {
            QObject::disconnect(m_connection);
            waiting.resume();
        });
    }
    void await_resume() const noexcept {}

private:
    Sender* m_sender;
    Signal m_signal;
    QMetaObject::Connection m_connection;
};

template <class Sender, class Signal> Emitted<Sender, Signal> emitted(Sender* sender, Signal signal)
{
    return Emitted<Sender, Signal>(sender, signal);
}

// A one-shot gate that a coroutine awaits instead of running an event loop
// of its own. Whatever ends the wait (an answer, a time-out, the program
// closing) opens it; only the first opening counts.
class Latch : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool isOpen() const { return m_open; }
    void open();

    // co_await latch.wait(): done once the latch is open, at once when it
    // already is.
    class Wait
    {
    public:
        explicit Wait(Latch& latch) : m_latch(latch), m_opened(&latch, &Latch::opened) {}
        Wait(Wait&&) noexcept = default;
        bool await_ready() const noexcept { return m_latch.isOpen(); }
        void await_suspend(std::coroutine_handle<> waiting) { m_opened.await_suspend(waiting); }
        void await_resume() const noexcept {}

    private:
        Latch& m_latch;
        Emitted<Latch, void (Latch::*)()> m_opened;
    };
    Wait wait() { return Wait(*this); }

signals:
    void opened();

private:
    bool m_open = false;
};
