// SPDX-License-Identifier: GPL-3.0-or-later

#include "tray/TemperatureIcon.h"

#include "base/ErrorReport.h"
#include "tray/TrayIconDrawing.h"
#include "tray/cSysTray.h"

TemperatureIcon::TemperatureIcon(TrayBackend* backend, int converterTimeoutMs, QObject* parent)
    : QObject(parent), m_control(new cSysTray(backend, this)), m_pipeline(converterTimeoutMs)
{
}

TemperatureIcon::~TemperatureIcon() = default;

void TemperatureIcon::setColors(const QColor& fore, const QColor& back)
{
    m_fore = fore;
    m_back = back;
}

QCoro::Task<> TemperatureIcon::show(Procedure& p, TemperatureTexts texts)
{
    p.run(110, [&] { m_control->setTrayTip(texts.tooltip); });
    p.run(112, [&] { m_canvas = drawTrayIcon(texts.iconText, m_fore, m_back); });
    const QIcon converted = co_await m_pipeline.convert(p, m_canvas);
    // Panels pick the size they show; each is drawn at its size, not scaled.
    m_control->setTrayIcon(withPanelSizes(converted, texts.iconText, m_fore, m_back));
}
