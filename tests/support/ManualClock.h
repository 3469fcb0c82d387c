// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/Clock.h"

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <functional>
#include <vector>

// A clock the test moves: what is due runs inside advance(), in the order it
// falls due, and nothing waits for real time. Installed for its lifetime.
class ManualClock : public Clock
{
public:
    ManualClock() { Clock::install(this); }
    ~ManualClock() override { Clock::install(nullptr); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    qint64 nowMs() const override { return m_now; }

    void after(int ms, QObject* context, std::function<void()> action) override
    {
        m_due.push_back({m_now + ms, m_next++, context, std::move(action)});
    }

    void advance(qint64 ms)
    {
        const qint64 until = m_now + ms;
        for (;;) {
            const auto next = std::min_element(m_due.begin(), m_due.end(), [](const Due& a, const Due& b) {
                return a.at != b.at ? a.at < b.at : a.order < b.order;
            });
            if (next == m_due.end() || next->at > until) {
                break;
            }
            Due due = std::move(*next);
            m_due.erase(next);
            m_now = due.at;
            if (due.context) {
                due.action();
            }
        }
        m_now = until;
    }

private:
    struct Due {
        qint64 at;
        int order;
        QPointer<QObject> context;
        std::function<void()> action;
    };
    qint64 m_now = 0;
    int m_next = 0;
    std::vector<Due> m_due;
};
