#pragma once

#include <QtGlobal>

namespace QT_BASS {

// Root of every record that can ride on a tree row as its payload: rows keep a pointer to an
// Object in their user-role data and find out what it is through the derived type.
class Object
{
public:
    Object() = default;
    Object(const Object &) = default;
    Object &operator=(const Object &) = default;
    virtual ~Object() = default;

    // One free word for whoever hangs the record into a view.
    quintptr tag() const { return m_tag; }
    void setTag(quintptr tag) { m_tag = tag; }

private:
    quintptr m_tag = 0;
};

} // namespace QT_BASS
