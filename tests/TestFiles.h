class X{};
