#include "AppDelegate.h"

#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

using platform::Class;

const Class AppDelegate::classRecord{
    "AppDelegate", &platform::Object::classRecord, Class::factoryOf<AppDelegate>(),
    {{"applicationDidFinishLaunching:", platform::method(&AppDelegate::applicationDidFinishLaunching)}},
    {{"window", platform::getter(&AppDelegate::window), platform::setter(&AppDelegate::setWindow)}}};

void AppDelegate::applicationDidFinishLaunching(platform::Object*) {}
