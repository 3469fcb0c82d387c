// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "tray/IconPipeline.h"
#include "tray/TrayTexts.h"

#include <QColor>
#include <QImage>
#include <QObject>

#include <QCoroTask>

class Procedure;
class TrayBackend;
class cSysTray;

// The tray half of a refresh: the tooltip, the reading drawn in the icon
// colours, the converter's icon of it, and the icon control that shows it.
class TemperatureIcon : public QObject
{
    Q_OBJECT

public:
    TemperatureIcon(TrayBackend* backend, int converterTimeoutMs, QObject* parent = nullptr);
    ~TemperatureIcon() override;

    cSysTray& control() const { return *m_control; }
    IconPipeline& pipeline() { return m_pipeline; }
    const IconPipeline& pipeline() const { return m_pipeline; }

    QColor foreColor() const { return m_fore; }
    QColor backColor() const { return m_back; }
    void setColors(const QColor& fore, const QColor& back);

    // The reading as last drawn, before conversion.
    const QImage& canvas() const { return m_canvas; }

    // The refresh's steps 110 to 118 on `p`: tooltip, drawing, conversion,
    // and the icon handed to the tray.
    QCoro::Task<> show(Procedure& p, TemperatureTexts texts);

private:
    cSysTray* m_control = nullptr;
    IconPipeline m_pipeline;
    QColor m_fore = Qt::yellow;
    QColor m_back = Qt::black;
    QImage m_canvas;
};
