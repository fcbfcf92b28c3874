#include "profile/profileeditor.h"

#include "logging.h"
#include "profile/profile.h"
#include "store/profiledocument.h"

namespace ProfileEditor {

void run(QWidget *parent, ProfileDocument &document)
{
    qCDebug(lcProfile) << "showProfile";
    // The dialog edits the password too: it is read from the secret store now, if it is there.
    document.readSecrets();
    // The dialog takes the caller's map and hands back either its own copy or, after Cancel, the
    // caller's map itself.
    QHash<QString, QVariant> values = document.values();
    Profile dialog(parent);
    dialog.setSecretKeys(document.secretKeys());
    dialog.setProfileValues(&values);
    dialog.setPeople(document.people());
    dialog.exec();
    const QHash<QString, QVariant> *result = dialog.resultValues();
    if (result && result != &values) {
        document.setValues(*result);
        // Untouched people are left as the file has them.
        const QVector<Person> people = dialog.resultPeople();
        if (people != document.people()) {
            document.setPeople(people);
        }
        document.save();
    }
}

} // namespace ProfileEditor
