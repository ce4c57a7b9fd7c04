#include "messages/XQBONode.h"

bool XQBONode::operator==(const XQBONode& other) const {
    return Text1 == other.Text1 && Text2 == other.Text2;
}
