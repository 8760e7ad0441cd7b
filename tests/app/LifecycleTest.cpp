#include "TestSupport.h"
class LifecycleTest : public QObject { Q_OBJECT };
VANTOR_TEST_MAIN(LifecycleTest)
#include "LifecycleTest.moc"
