#include "end_request.h"

#include <QList>

namespace {
// Every EndRequest alive, oldest first: the program has one, a test may make its own.
QList<EndRequest *> &alive()
{
    static QList<EndRequest *> list;
    return list;
}
} // namespace

EndRequest::EndRequest(QObject *parent) : QObject(parent)
{
    alive().append(this);
}

EndRequest::~EndRequest()
{
    alive().removeAll(this);
}

EndRequest *EndRequest::current()
{
    return alive().isEmpty() ? nullptr : alive().last();
}

bool EndRequest::isPending()
{
    const EndRequest *request = current();
    return request && request->isRequested();
}

void EndRequest::request()
{
    if (requested_)
        return;
    requested_ = true;
    emit requested();
}
