#include "lineseries.h"

#include "fieldreading.h"

ExposureLineSeries::ExposureLineSeries(QObject *parent) : FieldLineSeries(parent, true) {}

double ExposureLineSeries::readingValue(FieldReading *reading) const
{
    return reading->EField() >= reading->HField() ? reading->EField() : reading->HField();
}

EFieldLineSeries::EFieldLineSeries(QObject *parent) : FieldLineSeries(parent, false) {}

double EFieldLineSeries::readingValue(FieldReading *reading) const
{
    return reading->EField();
}

HFieldLineSeries::HFieldLineSeries(QObject *parent) : FieldLineSeries(parent, false) {}

double HFieldLineSeries::readingValue(FieldReading *reading) const
{
    return reading->HField();
}

SixMinAverageLineSeries::SixMinAverageLineSeries(QObject *parent) : FieldLineSeries(parent, false)
{}

double SixMinAverageLineSeries::readingValue(FieldReading *reading) const
{
    return reading->SixMinAvg();
}

ThirtyMinAverageLineSeries::ThirtyMinAverageLineSeries(QObject *parent)
    : FieldLineSeries(parent, false)
{}

double ThirtyMinAverageLineSeries::readingValue(FieldReading *reading) const
{
    return reading->ThirtyMinAvg();
}
