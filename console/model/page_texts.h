// The German labels of the page's controls, as messages name them, and the
// texts of a refused page (Latin-1).
#pragma once

#include <string>

#include "console/model/console_view.h"
#include "schema/registry_schema.h"

namespace ferry::console {

const char* FieldLabel(Control control);
std::string ValueLabel(schema::Level level, const std::string& name);

namespace texts {
inline constexpr const char* kFieldsRefusedTitle = "Eingabe pr\xFC" "fen";
inline constexpr const char* kFieldsRefused =
    "Diese Eingaben kann der Dienst nicht verwenden. Sie sind markiert und bleiben auf der Seite, bis Sie sie "
    "korrigieren; die \xFC" "brigen Eingaben sind \xFC" "bernommen.";
}  // namespace texts

}  // namespace ferry::console
