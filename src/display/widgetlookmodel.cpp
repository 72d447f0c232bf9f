#include "display/widgetlookmodel.h"

WidgetLookModel::WidgetLookModel(const WidgetLook& look, QObject* parent)
    : QObject(parent), m_look(look)
{
}

void WidgetLookModel::setLook(const WidgetLook& look)
{
    if (look == m_look)
        return;
    m_look = look;
    emit changed(m_look);
}

void WidgetLookModel::setPlace(QPoint topLeft)
{
    WidgetLook moved = m_look;
    moved.place = topLeft;
    setLook(moved);
}
