// The fixed model-view-projection matrix that every scene is drawn with (GL-free).
#include "scene/transform.h"

#include <cmath>

// A right-handed perspective projection: near 0.01, far 100, a fixed aspect ratio of 1.77, and a
// half-angle argument of 30 taken as radians, so both scale factors come out negative.
static const float fieldOfViewArgument = 30.0f;
static const float aspectRatio = 1.77f;
static const float nearPlane = 0.01f;
static const float farPlane = 100.0f;

// Mirrors x and y and scales by 10, then moves the quad 3 units away from the eye.
static const Matrix4 modelView = {
    -10.0f, 0.0f,   0.0f,  0.0f, //
    0.0f,   -10.0f, 0.0f,  0.0f, //
    0.0f,   0.0f,   10.0f, 0.0f, //
    0.0f,   0.0f,   -3.0f, 1.0f, //
};

Matrix4 projectionMatrix() {
    const float t = std::tan(fieldOfViewArgument);
    Matrix4 p{};
    p[0 * 4 + 0] = 1.0f / (t * aspectRatio);
    p[1 * 4 + 1] = 1.0f / t;
    p[2 * 4 + 2] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    p[2 * 4 + 3] = -1.0f;
    p[3 * 4 + 2] = -(2.0f * farPlane * nearPlane) / (farPlane - nearPlane);
    return p;
}

Matrix4 modelViewMatrix() {
    return modelView;
}

Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 product{};
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[column * 4 + k];
            }
            product[column * 4 + row] = sum;
        }
    }
    return product;
}

Matrix4 sceneTransform() {
    return multiply(projectionMatrix(), modelViewMatrix());
}
