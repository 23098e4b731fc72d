#pragma once

#include "post_store.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>

// The service's pages: self-contained HTML with the chart drawn here as inline SVG. Nothing is
// loaded from anywhere else and every text that came with a post is HTML-escaped.
namespace MonitorPage {

QString escaped(const QString &text);

// The account's page: its latest values and a chart of the power of its recent posts.
QByteArray account(const QString &name, const std::deque<Post> &posts);

// The list of accounts that have posted, each a link to its page.
QByteArray index(const QStringList &accounts);

// The chart alone: channel 1 and channel 2 power of the posts, oldest on the left.
QString powerChart(const std::deque<Post> &posts);

} // namespace MonitorPage
