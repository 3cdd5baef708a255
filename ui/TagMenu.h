#pragma once

#include <memory>

class QLineEdit;
class QMenu;

// A name field's context menu: the usual one, with "Insert tag", which holds every tag
// ZOV knows, grouped, each with a few words.
std::unique_ptr<QMenu> NameFieldMenu(QLineEdit* field);
