#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <deque>

// One post as received: its query's keys and values in their order, and when it arrived.
struct Post {
    QDateTime received;
    QList<QPair<QString, QString>> values;

    QString value(const QString &key) const;
};

// The recent posts of each account, in memory and bounded: at most postsPerAccount posts per
// account (the oldest go first) and at most maxAccounts accounts (the one posted to least
// recently goes first). Each post keeps at most kMaxValues values of kMaxText characters.
class PostStore {
public:
    static constexpr int kMaxValues = 24;
    static constexpr int kMaxText = 128;

    explicit PostStore(int postsPerAccount = 240, int maxAccounts = 32);

    void add(const QString &account, Post post);
    // Oldest first; empty for an account without posts.
    const std::deque<Post> &posts(const QString &account) const;
    QStringList accounts() const;

private:
    struct Account {
        std::deque<Post> posts;
        quint64 lastPost = 0;
    };

    int postsPerAccount_;
    int maxAccounts_;
    quint64 sequence_ = 0;
    QHash<QString, Account> accounts_;
};
