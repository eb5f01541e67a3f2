#include "edit/names.h"

QByteArray head_name(const QByteArray& chosen)
{
    if (chosen.size() >= 4 && qstricmp(chosen.right(4).constData(), ".psg") == 0)
        return chosen;
    return chosen + ".psg";
}

QByteArray rest_name(const QByteArray& head)
{
    return head.left(head.size() - 4) + ".rest.psg";
}

QByteArray numbered_name(const QByteArray& head, int k)
{
    return head.left(head.size() - 4) + "." + QByteArray::number(k) + ".psg";
}

QByteArray intro_name(const QByteArray& head)
{
    return head.left(head.size() - 4) + ".intro.psg";
}

QByteArray loop_name(const QByteArray& head)
{
    return head.left(head.size() - 4) + ".loop.psg";
}
