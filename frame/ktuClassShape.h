// The common shape of the classes that hold no data: constructors, destructor
// and assignment do nothing (assignment returns the left-hand object).
#pragma once

#define KTU_DATALESS_CLASS_SHAPE(Class)                           \
    Class::Class() {}                                             \
    Class::Class(const Class&) {}                                 \
    Class& Class::operator=(const Class&) { return *this; }       \
    Class::~Class() {}
